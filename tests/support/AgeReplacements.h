#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

namespace quorle::testing {

// Every replacement the library holds made an hour older: it keeps whole seconds, and a test's
// sends all fall within a few, so which came last is otherwise not known.
inline void AgeReplacements(const std::filesystem::path& library) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(library.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "UPDATE places SET seen = seen - 3600 WHERE how = 4", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  sqlite3_close(db);
}

// Every sighting so far, and every bank seen whole, an hour older: what is recorded next is the
// newer, as it would be on a user's clock.
inline void AgeSightings(const std::filesystem::path& library) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(library.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(
      sqlite3_exec(db, "UPDATE places SET seen = seen - 3600; UPDATE banks SET seen = seen - 3600",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
}

}  // namespace quorle::testing
