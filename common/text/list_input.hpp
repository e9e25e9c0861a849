// Free-format list input: the reader of the station lists, the site lists and
// the numeric command-line arguments.
//
// A list file is read whole into memory (lists are small) and then read record
// by record.  One `read_record` call fills a given sequence of items:
//
//   * Every record starts at the beginning of a line.  Values are separated by
//     blanks and/or one comma; a line end counts as a blank, so a record that
//     holds fewer values than asked for goes on over the following lines, and
//     lines without any value are passed over.  Once the last item has its
//     value, whatever else stands on that line is ignored and the next record
//     starts on the following line.
//   * Tabs count as blanks, and so does a carriage return (so a CR before the
//     LF of a line end is ignored).
//   * A semicolon is taken as a comma, so that lists written with semicolons
//     between their values read the same.
//   * Texts: a value that starts with an apostrophe or a quotation mark is
//     quoted and ends at the matching mark; a doubled mark inside stands for
//     one; a quoted text may go on over a line break, which is not part of the
//     text; a quoted text that is never closed runs to the end of the file.
//     The closing mark must be followed by a separator (or the line end).  An
//     unquoted text ends at the first blank, comma, semicolon or slash; an
//     apostrophe or quotation mark after its first character is an ordinary
//     character.  A text longer than its field is cut, a shorter one padded
//     with blanks to the field width.
//   * Integers: optional sign and decimal digits, within the 32-bit range.
//   * Reals: optional sign, digits with an optional point (at least one
//     digit), an optional exponent: E, D or Q (any case) with an optional sign
//     and digits, or a bare sign and digits ("1.5+3").  Also Infinity, Inf and
//     NaN in any case (a NaN is never signed).  The decimal text is rounded
//     once, directly to the nearest 32-bit real (halfway cases to even);
//     values beyond the 32-bit range become a signed infinity or a signed
//     zero, without error.
//
// Forms that the list format allows beyond the plain ones, all accepted:
//   * Null values: a comma directly after another comma (blanks and line
//     ends between them do not count), or a comma before the first value of a
//     record, gives the item no value: it keeps what it held before.
//   * A slash ends the record early: the items not yet read keep what they
//     held, and the rest of that line is ignored.
//   * Repeat counts: `n*value` gives the same value to n items in a row, and
//     `n*` gives them no value (n a positive 32-bit integer); counts left over
//     at the end of a record are dropped with the rest of its line.
//
// Outcomes of a record: `ok`; `end_of_file` when the file ends before every
// item has its value (a record cut short; the items read so far have been
// assigned, the caller drops the record); `error` when a value cannot be read
// as its type, with a message naming the item, the text and the line.
//
// Every scan is linear in the bytes it passes over, whatever the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "command_line.hpp"  // trim_right

namespace rn {

enum class ReadStatus { ok, end_of_file, error };

/// Outcome of a read.
struct ReadResult {
  ReadStatus status = ReadStatus::ok;
  std::string message;     ///< what went wrong (empty when ok)
  std::size_t values = 0;  ///< items that received a value (nulls not counted)

  bool ok() const { return status == ReadStatus::ok; }
};

/// One item of a record: where its value goes, its type and, for messages,
/// its name.  Build with `real_item`, `int_item`, `text_item`.  The target
/// must outlive the read.
struct ListItem {
  enum class Kind { real, integer, text };
  Kind kind;
  void* target;            ///< float*, std::int32_t* or std::string*
  std::size_t width;       ///< text field width
  std::string_view name;   ///< e.g. "latitude"
};

inline ListItem real_item(float& value, std::string_view name = "real value") {
  return {ListItem::Kind::real, &value, 0, name};
}
inline ListItem int_item(std::int32_t& value, std::string_view name = "integer value") {
  return {ListItem::Kind::integer, &value, 0, name};
}
/// A text item: the value is stored cut or blank-padded to exactly `width`
/// characters (use `trim_right` to drop the padding).
inline ListItem text_item(std::string& value, std::size_t width,
                          std::string_view name = "text value") {
  return {ListItem::Kind::text, &value, width, name};
}

/// Reads records of free-format list input from a text held in memory.  The
/// reader keeps a view: the text must outlive it.
class ListReader {
 public:
  explicit ListReader(std::string_view text) : text_(text) {}

  /// Reads one record into `items`, in order, starting at the beginning of
  /// the next line (see the file comment).
  ReadResult read_record(std::initializer_list<ListItem> items);
  ReadResult read_record(const ListItem* items, std::size_t count);

  /// Passes over one line whatever it holds; `end_of_file` when none is left.
  ReadResult skip_line();

  /// True when no byte is left to read.
  bool at_end() const { return pos_ >= text_.size(); }

 private:
  class Scan;  // the scanning state of one record
  std::string_view text_;
  std::size_t pos_ = 0;
};

/// The first value of a text read as one free-format list item, the way an
/// integer is read from a command-line argument or a latitude from a site
/// list's latitude text: leading blanks skipped, the first value taken, the
/// rest ignored.  A text without any value gives `end_of_file`; a null value
/// (a leading comma or slash) gives `error`, since no value would be set.
ReadResult read_int_text(std::string_view text, std::int32_t& value,
                         std::string_view name = "integer value");
ReadResult read_real_text(std::string_view text, float& value,
                          std::string_view name = "real value");

/// An integer command-line argument: `read_int_text`, ending the program
/// (failure status) with a message naming the argument when it holds no
/// integer.
std::int32_t int_argument(std::string_view text, std::string_view name);

/// Reads a whole file into `text`.  `error` names the file and the system's
/// reason when it cannot be read.
ReadResult read_text_file(const std::string& path, std::string& text);

// ---------------------------------------------------------------------------
// Building blocks, shared with the namelist reader.

/// A whole token as a 32-bit integer (optional sign, digits, in range).
bool parse_int32(std::string_view token, std::int32_t& value);

/// A whole token as a 32-bit real (the forms of the file comment), rounded
/// once from the decimal text.
bool parse_real32(std::string_view token, float& value);

/// Scans the quoted text that starts with the mark at `text[pos]`.  Appends
/// at most `width` characters of its value to `out` (doubled marks read as
/// one, line breaks dropped) and returns the position just after the closing
/// mark, or `std::string_view::npos` when the text is never closed.
std::size_t scan_quoted(std::string_view text, std::size_t pos, std::size_t width,
                        std::string& out);

/// A piece of input for a message, in quotation marks: at most 40 bytes
/// ("..." after a cut), control characters shown as '?'.
std::string message_text(std::string_view text);

// ---------------------------------------------------------------------------
// Station lists of the KML tools.

inline constexpr std::size_t kStationNameWidth = 80;

/// One station: latitude, longitude, name (at most 80 characters, trailing
/// blanks removed), number, grid column and grid row.
struct Station {
  float lat = 0.0f;
  float lon = 0.0f;
  std::string name;
  std::int32_t number = 0;
  std::int32_t column = 0;
  std::int32_t row = 0;
};

/// Reads the stations of a station list one by one: six values per station,
/// each station starting on a new line.  An item that gets no value (null,
/// slash, `n*`) keeps the value it had in the previous station (0, or a blank
/// name, before the first).
class StationReader {
 public:
  explicit StationReader(std::string_view text) : reader_(text), name_(kStationNameWidth, ' ') {}

  /// `ok` with the next station in `station`; `end_of_file` when the list is
  /// done (a station cut short by the end of the file is dropped); `error`
  /// with a message naming the value and line that could not be read.
  ReadResult next(Station& station);

 private:
  ListReader reader_;
  Station current_;
  std::string name_;  // blank-padded to 80
};

}  // namespace rn
