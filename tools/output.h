// Output formats: one line per URL, as tab-separated text or as a JSON
// object (JSON Lines). A line is built in a reused buffer and written with
// one fwrite.
//
// Text: fields in order, separated by tabs; tab, newline, carriage return
// and backslash inside a field are written as \t, \n, \r and \\; a null
// field is empty. JSON: the fields by name; bytes that are not valid UTF-8
// become \udcXX escapes (XX the byte), so no byte is lost.
#ifndef URLKEYS_TOOLS_OUTPUT_H
#define URLKEYS_TOOLS_OUTPUT_H

#include <cstdio>
#include <string>
#include <string_view>

namespace urlkeys::tool {

class Output {
 public:
  Output(FILE* out, bool json);

  // Starts a line with its first field, the input text.
  void Begin(const char* input);
  // A text field; null writes JSON null (text: an empty field).
  void Field(const char* name, const char* value);
  void Field(const char* name, std::string_view value);
  void Number(const char* name, long value);
  void Bool(const char* name, bool value);
  // A list of texts: a JSON array; in text, each item its own field.
  void ListBegin(const char* name);
  void ListItem(const char* value);
  void ListEnd();
  // A list of texts as one field: a JSON array; in text, the items joined
  // by `separator`.
  void JoinedBegin(const char* name);
  void JoinedItem(std::string_view value, char separator);
  void JoinedEnd() { ListEnd(); }
  // Ends the line and writes it.
  void End();

 private:
  void Key(const char* name);
  void Text(std::string_view s);
  void Json(std::string_view s);

  FILE* out_;
  bool json_;
  bool first_ = true;
  bool list_first_ = true;
  std::string line_;
};

}  // namespace urlkeys::tool

#endif
