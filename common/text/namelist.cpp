#include "namelist.hpp"

#include <algorithm>
#include <array>

#include "list_input.hpp"
#include "program_end.hpp"

namespace rn {
namespace {

constexpr std::string_view kGroup = "namelist_nesting";
constexpr std::size_t npos = std::string_view::npos;

enum class Type { text, real, integer, logical };

struct Key {
  std::string_view name;
  Type type;
  std::string NestingNamelist::*text;
  float NestingNamelist::*real;
  std::int32_t NestingNamelist::*integer;
  bool NestingNamelist::*logical;
};

constexpr std::array<Key, 9> kKeys{{
    {"mapproject", Type::text, &NestingNamelist::mapproject, nullptr, nullptr, nullptr},
    {"fulldom_child_f", Type::text, &NestingNamelist::fulldom_child_f, nullptr, nullptr, nullptr},
    {"fulldom_parent_f", Type::text, &NestingNamelist::fulldom_parent_f, nullptr, nullptr, nullptr},
    {"routinelin_p_f", Type::text, &NestingNamelist::routinelin_p_f, nullptr, nullptr, nullptr},
    {"dxkm", Type::real, nullptr, &NestingNamelist::dxkm, nullptr, nullptr},
    {"geo_parent_f", Type::text, &NestingNamelist::geo_parent_f, nullptr, nullptr, nullptr},
    {"nhd_map_f", Type::text, &NestingNamelist::nhd_map_f, nullptr, nullptr, nullptr},
    {"flowin_out", Type::logical, nullptr, nullptr, nullptr, &NestingNamelist::flowin_out},
    {"order_diff", Type::integer, nullptr, nullptr, &NestingNamelist::order_diff, nullptr},
}};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_name_char(char c) { return is_letter(c) || (c >= '0' && c <= '9') || c == '_'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
// Characters that end an unquoted value.
bool ends_value(char c) {
  return is_blank(c) || c == '\n' || c == ',' || c == ';' || c == '/' || c == '!';
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// Contract: parses the group `namelist_nesting` out of `text` into `values`
// (see the header for the syntax).  Returns "" or the first problem found.
// Every byte is looked at a bounded number of times, so the cost is linear.
class Parser {
 public:
  Parser(std::string_view text, NestingNamelist& values) : t_(text), v_(values) {}

  std::string run() {
    if (!find_group()) return "no group &" + std::string(kGroup);
    std::array<bool, kKeys.size()> set{};
    while (true) {
      skip_space(true);
      if (p_ >= t_.size()) return "group &" + std::string(kGroup) + " has no closing slash";
      if (t_[p_] == '/') break;
      const std::size_t key_at = p_;
      const std::string_view name = read_name();
      if (name.empty()) return at(key_at, shown(key_at) + " where a key is due");
      const auto key = std::find_if(kKeys.begin(), kKeys.end(),
                                    [&](const Key& k) { return same_name(k.name, name); });
      if (key == kKeys.end()) {
        return at(key_at, "unknown key \"" + std::string(name) + "\" in group " + std::string(kGroup));
      }
      skip_space(false);
      if (p_ >= t_.size() || t_[p_] != '=') return at(p_, "\"=\" missing after " + std::string(key->name));
      ++p_;
      bool got = false;
      std::string problem = read_value(*key, got);
      if (!problem.empty()) return problem;
      if (got) set[static_cast<std::size_t>(key - kKeys.begin())] = true;
    }
    std::string missing;
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
      if (set[k]) continue;
      missing += missing.empty() ? "" : ", ";
      missing += kKeys[k].name;
    }
    if (!missing.empty()) return "no value given for " + missing;
    return {};
  }

 private:
  // Finds a line starting (after blanks) with "&" and the group name followed
  // by a separator; leaves the position after the name.
  bool find_group() {
    while (p_ < t_.size()) {
      while (p_ < t_.size() && is_blank(t_[p_])) ++p_;
      if (p_ < t_.size() && t_[p_] == '&') {
        ++p_;
        const std::string_view name = read_name();
        if (same_name(name, kGroup) && (p_ >= t_.size() || ends_value(t_[p_]))) return true;
      }
      const std::size_t nl = t_.find('\n', p_);
      p_ = nl == npos ? t_.size() : nl + 1;
    }
    return false;
  }

  std::string_view read_name() {
    const std::size_t start = p_;
    if (p_ < t_.size() && is_letter(t_[p_])) {
      while (p_ < t_.size() && is_name_char(t_[p_])) ++p_;
    }
    return t_.substr(start, p_ - start);
  }

  // Passes over blanks, line ends and comments, and commas when `commas`.
  void skip_space(bool commas) {
    while (p_ < t_.size()) {
      const char c = t_[p_];
      if (c == '!') {
        const std::size_t nl = t_.find('\n', p_);
        p_ = nl == npos ? t_.size() : nl;
      } else if (is_blank(c) || c == '\n' || (commas && (c == ',' || c == ';'))) {
        ++p_;
      } else {
        break;
      }
    }
  }

  // True when a name followed by "=" starts at the position: the next key.
  bool next_key_follows() const {
    std::size_t i = p_;
    if (i >= t_.size() || !is_letter(t_[i])) return false;
    while (i < t_.size() && is_name_char(t_[i])) ++i;
    while (i < t_.size() && is_blank(t_[i])) ++i;
    return i < t_.size() && t_[i] == '=';
  }

  std::string read_value(const Key& key, bool& got) {
    skip_space(false);
    if (p_ >= t_.size()) return "group &" + std::string(kGroup) + " has no closing slash";
    const char c = t_[p_];
    if (c == ',' || c == ';') {  // no value: the key keeps what it held
      ++p_;
      return {};
    }
    if (c == '/' || next_key_follows()) return {};
    const std::size_t start = p_;
    if (key.type == Type::text) {
      if (c != '\'' && c != '"') {
        return at(start, "the text value of " + std::string(key.name) + " must be in quotes");
      }
      std::string value;
      const std::size_t end = scan_quoted(t_, p_, kNamelistTextWidth, value);
      if (end == npos) return at(start, "the quoted value of " + std::string(key.name) + " is never closed");
      if (end < t_.size() && !ends_value(t_[end])) {
        return at(end, "characters after the closing quote of " + std::string(key.name));
      }
      p_ = end;
      value.resize(kNamelistTextWidth, ' ');
      v_.*key.text = std::move(value);
      got = true;
      return {};
    }
    while (p_ < t_.size() && !ends_value(t_[p_])) ++p_;
    const std::string_view token = t_.substr(start, p_ - start);
    bool good = false;
    const char* what = "";
    switch (key.type) {
      case Type::real:
        good = parse_real32(token, v_.*key.real);
        what = "a real";
        break;
      case Type::integer:
        good = parse_int32(token, v_.*key.integer);
        what = "an integer";
        break;
      case Type::logical: {
        const std::size_t i = (!token.empty() && token[0] == '.') ? 1 : 0;
        const char letter = i < token.size() ? lower(token[i]) : '\0';
        good = letter == 't' || letter == 'f';
        if (good) v_.*key.logical = letter == 't';
        what = "a logical (T, F, .true. or .false.)";
        break;
      }
      case Type::text:
        break;
    }
    if (!good) {
      return at(start, shown(start) + " is not " + what + " (" + std::string(key.name) + ")");
    }
    got = true;
    return {};
  }

  // The unquoted token at `pos`, for messages.
  std::string shown(std::size_t pos) const {
    std::size_t end = pos;
    while (end < t_.size() && !ends_value(t_[end])) ++end;
    return message_text(t_.substr(pos, end - pos));
  }

  std::string at(std::size_t pos, const std::string& what) const {
    pos = std::min(pos, t_.size());
    const auto line = 1 + std::count(t_.begin(), t_.begin() + static_cast<std::ptrdiff_t>(pos), '\n');
    return "line " + std::to_string(line) + ": " + what;
  }

  std::string_view t_;
  NestingNamelist& v_;
  std::size_t p_ = 0;
};

}  // namespace

std::string parse_namelist_nesting(std::string_view text, NestingNamelist& values) {
  values = NestingNamelist{};
  for (const Key& key : kKeys) {
    if (key.type == Type::text) (values.*key.text).assign(kNamelistTextWidth, ' ');
  }
  return Parser(text, values).run();
}

NestingNamelist read_namelist_nesting(const std::string& path) {
  std::string text;
  const ReadResult file = read_text_file(path, text);
  if (!file.ok()) fail("Error: " + file.message);
  NestingNamelist values;
  const std::string problem = parse_namelist_nesting(text, values);
  if (!problem.empty()) fail("Error: " + path + ", " + problem);
  return values;
}

}  // namespace rn
