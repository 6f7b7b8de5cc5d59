// RtMidi's JACK client makes its ring buffers before it tries the server and does not free them
// when there is none: a leak of the library, once per client, that these tests provoke on purpose.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:jack_ringbuffer_create\n";
}
#endif
