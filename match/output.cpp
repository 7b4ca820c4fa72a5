#include "match/output.h"

#include <cstddef>

namespace urlkeys::match {
namespace {

// Length of the well-formed UTF-8 sequence at s (lead byte >= 0x80, `room`
// bytes readable), or 0.
size_t Utf8Length(const unsigned char* s, size_t room) {
  unsigned char c = s[0];
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n > room) return 0;
  if (s[1] < lo || s[1] > hi) return 0;
  for (size_t i = 2; i < n; ++i)
    if (s[i] < 0x80 || s[i] > 0xBF) return 0;
  return n;
}

constexpr char kHex[] = "0123456789abcdef";

}  // namespace

void AppendText(std::string* out, std::string_view text) {
  // Runs of plain bytes are copied whole.
  size_t done = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char* escape;
    switch (text[i]) {
      case '\t': escape = "\\t"; break;
      case '\n': escape = "\\n"; break;
      case '\r': escape = "\\r"; break;
      case '\\': escape = "\\\\"; break;
      default: continue;
    }
    out->append(text.data() + done, i - done);
    out->append(escape, 2);
    done = i + 1;
  }
  out->append(text.data() + done, text.size() - done);
}

void AppendJson(std::string* out, std::string_view text) {
  std::string& line = *out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = s + text.size();
  line += '"';
  while (s < end) {
    unsigned char c = *s;
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        line += '\\';
        line += static_cast<char>(c);
      } else if (c < 0x20) {
        line += "\\u00";
        line += kHex[c >> 4];
        line += kHex[c & 15];
      } else {
        line += static_cast<char>(c);
      }
      ++s;
      continue;
    }
    size_t n = Utf8Length(s, static_cast<size_t>(end - s));
    if (n) {
      line.append(reinterpret_cast<const char*>(s), n);
      s += n;
    } else {
      line += "\\udc";
      line += kHex[c >> 4];
      line += kHex[c & 15];
      ++s;
    }
  }
  line += '"';
}

Output::Output(FILE* out, bool json) : out_(out), json_(json), line_(&own_) { own_.reserve(1024); }

Output::Output(std::string* sink, bool json) : json_(json), line_(sink) {}

void Output::Begin(const char* input) {
  if (out_) line_->clear();
  first_ = true;
  if (json_) *line_ += '{';
  Field("input", input);
}

void Output::Field(const char* name, const char* value) {
  Key(name);
  if (json_) {
    if (value) Json(value);
    else *line_ += "null";
  } else if (value) {
    Text(value);
  }
}

void Output::Field(const char* name, std::string_view value) {
  Key(name);
  if (json_) Json(value);
  else Text(value);
}

void Output::Number(const char* name, long value) {
  Key(name);
  *line_ += std::to_string(value);
}

void Output::Bool(const char* name, bool value) {
  Key(name);
  if (json_) *line_ += value ? "true" : "false";
  else *line_ += value ? '1' : '0';
}

void Output::ListBegin(const char* name) {
  if (json_) {
    Key(name);
    *line_ += '[';
    list_first_ = true;
  }
}

void Output::ListItem(const char* value) {
  if (json_) {
    if (!list_first_) *line_ += ',';
    list_first_ = false;
    Json(value);
  } else {
    *line_ += '\t';
    Text(value);
  }
}

void Output::ListEnd() {
  if (json_) *line_ += ']';
}

void Output::JoinedBegin(const char* name) {
  Key(name);
  if (json_) *line_ += '[';
  list_first_ = true;
}

void Output::JoinedItem(std::string_view value, char separator) {
  if (!list_first_) *line_ += json_ ? ',' : separator;
  list_first_ = false;
  if (json_) Json(value);
  else Text(value);
}

void Output::End() {
  *line_ += json_ ? "}\n" : "\n";
  if (out_) fwrite(line_->data(), 1, line_->size(), out_);
}

void Output::Key(const char* name) {
  if (json_) {
    if (!first_) *line_ += ',';
    *line_ += '"';
    *line_ += name;
    *line_ += "\":";
  } else if (!first_) {
    *line_ += '\t';
  }
  first_ = false;
}

}  // namespace urlkeys::match
