// SPDX-License-Identifier: GPL-3.0-or-later
#include "json_value.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace lcr {

const tjson_value* tjson_value::member(std::string_view name) const
{
  for (std::size_t i = names.size(); i-- > 0;) {
    if (names[i] == name) return &items[i];
  }
  return nullptr;
}

namespace {

constexpr int deepest_nesting = 32;

struct tjson_fault : std::runtime_error {
  tjson_fault(std::size_t at, const std::string& what)
      : std::runtime_error("Zeichen " + std::to_string(at + 1) + ": " + what)
  {
  }
};

void append_utf8(std::string& text, std::uint32_t code)
{
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class tjson_reader {
 public:
  explicit tjson_reader(std::string_view text) : text_(text) {}

  tjson_value document()
  {
    tjson_value value = read_value(0);
    skip_blanks();
    if (at_ < text_.size()) throw tjson_fault(at_, "weiterer Text nach dem JSON-Wert");
    return value;
  }

 private:
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

  void skip_blanks()
  {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }

  void expect(char wanted)
  {
    skip_blanks();
    if (peek() != wanted) throw tjson_fault(at_, std::string("'") + wanted + "' erwartet");
    ++at_;
  }

  void expect_word(std::string_view word)
  {
    if (text_.substr(at_, word.size()) != word) throw tjson_fault(at_, "unbekanntes Wort");
    at_ += word.size();
  }

  tjson_value read_value(int depth)
  {
    if (depth > deepest_nesting) throw tjson_fault(at_, "zu tief verschachtelt");
    skip_blanks();
    tjson_value value;
    const char c = peek();
    if (c == '{') {
      read_object(value, depth);
    } else if (c == '[') {
      read_array(value, depth);
    } else if (c == '"') {
      value.kind = tjson_value::tkind::string;
      value.text = read_string();
    } else if (c == 't' || c == 'f') {
      value.kind = tjson_value::tkind::boolean;
      value.boolean = c == 't';
      expect_word(c == 't' ? "true" : "false");
    } else if (c == 'n') {
      expect_word("null");
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      value.kind = tjson_value::tkind::number;
      value.number = read_number();
    } else {
      throw tjson_fault(at_, at_ < text_.size() ? "kein JSON-Wert" : "Text endet vorzeitig");
    }
    return value;
  }

  void read_object(tjson_value& value, int depth)
  {
    value.kind = tjson_value::tkind::object;
    ++at_;
    skip_blanks();
    if (peek() == '}') {
      ++at_;
      return;
    }
    while (true) {
      skip_blanks();
      if (peek() != '"') throw tjson_fault(at_, "Name in Anführungszeichen erwartet");
      value.names.push_back(read_string());
      expect(':');
      value.items.push_back(read_value(depth + 1));
      skip_blanks();
      if (peek() == '}') break;
      expect(',');
    }
    ++at_;
  }

  void read_array(tjson_value& value, int depth)
  {
    value.kind = tjson_value::tkind::array;
    ++at_;
    skip_blanks();
    if (peek() == ']') {
      ++at_;
      return;
    }
    while (true) {
      value.items.push_back(read_value(depth + 1));
      skip_blanks();
      if (peek() == ']') break;
      expect(',');
    }
    ++at_;
  }

  double read_number()
  {
    const char* const begin = text_.data() + at_;
    double number = 0.0;
    const auto [end, error] = std::from_chars(begin, text_.data() + text_.size(), number);
    // from_chars would take "-inf" and "-nan" too; JSON has neither.
    if (error != std::errc{} || !std::isfinite(number)) throw tjson_fault(at_, "keine endliche Zahl");
    at_ += static_cast<std::size_t>(end - begin);
    return number;
  }

  std::uint32_t read_hex4()
  {
    if (at_ + 4 > text_.size()) throw tjson_fault(at_, "Text endet vorzeitig");
    std::uint32_t code = 0;
    const auto [end, error] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
    if (error != std::errc{} || end != text_.data() + at_ + 4)
      throw tjson_fault(at_, "vier Hexziffern erwartet");
    at_ += 4;
    return code;
  }

  char escaped(char c) const
  {
    switch (c) {
      case '"':
        return '"';
      case '\\':
        return '\\';
      case '/':
        return '/';
      case 'b':
        return '\b';
      case 'f':
        return '\f';
      case 'n':
        return '\n';
      case 'r':
        return '\r';
      case 't':
        return '\t';
      default:
        throw tjson_fault(at_, "unbekanntes Escape");
    }
  }

  std::string read_string()
  {
    ++at_;  // the opening quote
    std::string text;
    while (true) {
      if (at_ >= text_.size()) throw tjson_fault(at_, "Text endet in einer Zeichenkette");
      const char c = text_[at_];
      if (c == '"') break;
      if (static_cast<unsigned char>(c) < 0x20) throw tjson_fault(at_, "Steuerzeichen in einer Zeichenkette");
      ++at_;
      if (c != '\\') {
        text += c;
        continue;
      }
      if (at_ >= text_.size()) throw tjson_fault(at_, "Text endet in einer Zeichenkette");
      if (text_[at_] == 'u') {
        ++at_;
        const std::uint32_t code = read_hex4();
        // Halves of surrogate pairs name no character of their own; no name
        // the curve's reader looks for has one.
        append_utf8(text, code >= 0xD800 && code < 0xE000 ? 0xFFFD : code);
      } else {
        text += escaped(text_[at_]);
        ++at_;
      }
    }
    ++at_;
    return text;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

tjson_reading parse_json(std::string_view text)
{
  tjson_reading reading;
  try {
    reading.value = tjson_reader(text).document();
  } catch (const tjson_fault& fault) {
    reading.refusal = fault.what();
  }
  return reading;
}

}  // namespace lcr
