#include <algorithm>

#include <sqlite3.h>

#include "library/LibraryImpl.h"

namespace quorle::library {

namespace {

// A value bound to a placeholder: a number, or a text when text is set.
struct Value {
  Value(std::int64_t n) : number(n) {}
  Value(std::string t) : text(std::move(t)) {}
  std::int64_t number = 0;
  std::optional<std::string> text;
};

// The WHERE clause of a query and its values; the text holds only placeholders.
struct Filter {
  std::string where;
  std::vector<Value> values;
  bool textOnly = false;  // a name text, and nothing else: counted by its index alone
};

void BindAll(SQLite::Statement& statement, const std::vector<Value>& values, int first = 1) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int at = first + static_cast<int>(i);
    if (values[i].text) {
      statement.bind(at, *values[i].text);
    } else {
      statement.bind(at, values[i].number);
    }
  }
}

// LIKE with the user's text taken literally.
std::string LikePattern(std::string_view text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

std::size_t Characters(std::string_view utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// likeText: the name text tested row by row, for a scan of an index in the order asked for.
// notKept: the test of a dump that no file or backup holds.
Filter MakeFilter(const Query& q, bool likeText = false, const std::string& notKept = {}) {
  Filter f;
  std::vector<std::string> terms;
  const bool match = !q.text.empty() && Characters(q.text) >= 3 && !likeText;
  if (!q.text.empty()) {
    if (match) {
      // The trigram index finds any part of a name of three characters or more, ignoring case;
      // quoted, the text is one phrase whatever it holds.
      std::string phrase = "\"";
      for (char c : q.text) phrase += c == '"' ? std::string("\"\"") : std::string(1, c);
      terms.push_back("d.id IN (SELECT rowid FROM names WHERE names MATCH ?)");
      f.values.push_back(phrase + "\"");
    } else {
      // "|| ''": a pattern that changes from search to search must not make SQLite prepare the
      // statement anew each time, as it does for a plain parameter it might answer from an index.
      terms.push_back("d.name LIKE (? || '') ESCAPE '\\'");
      f.values.push_back(LikePattern(q.text));
    }
  }
  if (q.kind) {
    terms.push_back("d.kind = ?");
    f.values.push_back(std::int64_t{q.kind->opcode});
  }
  if (!q.category.empty()) {
    terms.push_back("d.category = ? COLLATE NOCASE");
    f.values.push_back(q.category);
  }
  if (q.favoritesOnly) terms.push_back("d.favorite");
  if (q.duplicatesOnly) terms.push_back("d.shared");
  if (q.onlyOnInstrument) terms.push_back(notKept);
  if (q.replacedOnly) {
    // Replaced while nothing else was seen of it there since: a dump put back is itself again.
    // One second holds a copy's fetch and the send that replaces it, so a tie is a replacement.
    terms.push_back(
        "d.id IN (SELECT p.dump FROM places p WHERE p.how = 4 AND NOT EXISTS (SELECT 1 FROM "
        "places q WHERE q.dump = p.dump AND q.source = p.source AND q.how <> 4 AND q.seen > "
        "p.seen))");
  }
  if (!q.place.empty()) {
    // The source's text, or the place as the table shows it ("Andromeda Preset 1 018").
    terms.push_back(
        "d.id IN (SELECT p.dump FROM places p JOIN sources s ON s.id = p.source "
        "JOIN dumps k ON k.id = p.dump WHERE s.text LIKE ? ESCAPE '\\' OR "
        "place_text(k.kind, s.text, p.how, p.bank, p.entry) LIKE ? ESCAPE '\\')");
    f.values.push_back(LikePattern(q.place));
    f.values.push_back(LikePattern(q.place));
  }
  f.textOnly = match && terms.size() == 1;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    f.where += (i == 0 ? " WHERE " : " AND ") + terms[i];
  }
  return f;
}

// Names are searched as they sort: blanks around the text are no part of it.
Query Trimmed(const Query& query) {
  Query q = query;
  const std::size_t first = q.text.find_first_not_of(' ');
  q.text = first == std::string::npos
               ? std::string()
               : q.text.substr(first, q.text.find_last_not_of(' ') - first + 1);
  return q;
}

std::string OrderBy(const Query& q, bool trimmedNames) {
  if (q.replacedOnly) {
    return " ORDER BY (SELECT max(seen) FROM places p WHERE p.dump = d.id AND p.how = 4) DESC,"
           " d.id DESC";
  }
  const std::string direction = q.descending ? " DESC" : "";
  if (q.sort == SortBy::Seen) {
    return " ORDER BY d.last_seen" + direction + ", d.id" + direction;
  }
  return std::string(trimmedNames ? " ORDER BY ltrim(d.name) COLLATE NOCASE"
                                  : " ORDER BY d.name COLLATE NOCASE") +
         direction + ", d.id" + direction;
}

}  // namespace

// The first rows of a text search are found sooner by walking the names (or times) in order until
// enough rows match than by sorting every match, when matches are many. The walk tests each name
// with LIKE, which folds the case of ASCII letters only; an ASCII text finds the same names both
// ways, as no character of a name has an ASCII lower case but its own.
bool Library::Impl::WalkInOrder(const Query& query) {
  if (Characters(query.text) < 3 || !IsAscii(query.text) || query.replacedOnly) return false;
  Query textOnly;
  textOnly.text = query.text;
  const std::int64_t matches = TextMatches(*MakeFilter(textOnly).values.front().text);
  Use last = Prepared("SELECT max(id) FROM dumps");
  last->executeStep();
  const double dumps = static_cast<double>(last->getColumn(0).getInt64());
  // A walk tests about (offset + limit) * dumps / matches names, a sort fetches every match; a
  // name tested costs about a quarter of a match fetched.
  const double walked = static_cast<double>(query.offset + query.limit) * dumps /
                        static_cast<double>(std::max<std::int64_t>(matches, 1));
  return walked < 4.0 * static_cast<double>(matches);
}

std::vector<DumpSummary> Library::Search(const Query& asked) const {
  const Query query = Trimmed(asked);
  return impl_->Guarded([&] {
    const bool walk = impl_->WalkInOrder(query);
    const Filter filter = MakeFilter(query, walk, impl_->NotKept());
    const char* index = !walk                        ? ""
                        : query.sort == SortBy::Seen ? " INDEXED BY dumps_by_seen"
                                                     : " INDEXED BY dumps_by_name";
    Use rows = impl_->Prepared(kSummaryColumns + std::string(index) + filter.where +
                               OrderBy(query, impl_->trimmedNames) + " LIMIT ? OFFSET ?");
    BindAll(*rows, filter.values);
    const int at = static_cast<int>(filter.values.size());
    rows->bind(at + 1, static_cast<std::int64_t>(std::min<std::size_t>(query.limit, INT64_MAX)));
    rows->bind(at + 2, static_cast<std::int64_t>(query.offset));
    std::vector<DumpSummary> found;
    while (rows->executeStep()) found.push_back(impl_->SummaryFrom(*rows));
    return found;
  });
}

std::int64_t Library::Impl::TextMatches(const std::string& phrase) {
  // The window asks for a search's rows and then its count: the second asking is answered from
  // the first while no connection has changed the library in between.
  Use version = Prepared("PRAGMA data_version");
  version->executeStep();
  const std::int64_t changes[2] = {version->getColumn(0).getInt64(),
                                   sqlite3_total_changes64(db->getHandle())};
  if (lastTextCount && lastTextCount->phrase == phrase &&
      std::equal(std::begin(changes), std::end(changes), lastTextCount->changes)) {
    return lastTextCount->count;
  }
  Use count = Prepared("SELECT count(*) FROM names WHERE names MATCH ?");
  count->bind(1, phrase);
  count->executeStep();
  lastTextCount = TextCount{phrase, {changes[0], changes[1]}, count->getColumn(0).getInt64()};
  return lastTextCount->count;
}

std::size_t Library::Count(const Query& asked) const {
  const Query query = Trimmed(asked);
  return impl_->Guarded([&]() -> std::size_t {
    const Filter filter = MakeFilter(query, false, impl_->NotKept());
    if (filter.textOnly)
      return static_cast<std::size_t>(impl_->TextMatches(*filter.values.front().text));
    Use count = impl_->Prepared("SELECT count(*) FROM dumps d" + filter.where);
    BindAll(*count, filter.values);
    count->executeStep();
    return static_cast<std::size_t>(count->getColumn(0).getInt64());
  });
}

}  // namespace quorle::library
