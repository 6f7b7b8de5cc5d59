#include "midi/TMidiCallbackContext.h"

namespace quorle {

void MidiCallbackProc(void*, unsigned message, void* instance, std::uintptr_t p1,
                      std::uintptr_t p2) noexcept {
  auto* context = static_cast<TMidiCallbackContext*>(instance);
  switch (message) {
    case MIM_DATA:
    case MIM_LONGDATA:
    case MIM_LONGERROR: {
      if (p1 == 0xFE || p1 == 0xF8) return;  // active sensing, timing clock
      if (message == MIM_DATA && context &&
          context->SysexOnly.load(std::memory_order_relaxed) != 0) {
        return;
      }
      if (!context || !context->Ring) return;
      TMidiRingItem item;
      item.Timestamp = static_cast<std::uint32_t>(p2);
      if (message == MIM_DATA) {
        item.ShortMessage = static_cast<std::uint32_t>(p1);
      } else {
        item.LongHeader = reinterpret_cast<MidiHdr*>(p1);
      }
      const bool stored = context->Ring->Put(item);
      if (context->Dispatcher) {
        context->Dispatcher->Post(context->Window, stored ? MIM_DATA : WM_USER, 0, 0);
      }
      return;
    }
    case MIM_OVERFLOW:
      // Told as the ring's own overflow is: the port learns that something was lost.
      if (context && context->Dispatcher) context->Dispatcher->Post(context->Window, WM_USER, 0, 0);
      return;
    case MIM_INPUTLOST:
      if (context && context->Dispatcher) {
        context->Dispatcher->Post(context->Window, MIM_INPUTLOST, 0, 0);
      }
      return;
    case MOM_DONE:
      if (context && context->Dispatcher) {
        context->Dispatcher->Post(context->Window, MOM_DONE, p2, p1);
      }
      return;
    default:
      return;
  }
}

}  // namespace quorle
