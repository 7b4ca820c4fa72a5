// Output formats: one line per URL, as tab-separated text or as a JSON
// object (JSON Lines). A line is built in a reused buffer and written with
// one fwrite, or built at the end of a caller's string.
//
// Text: fields in order, separated by tabs; tab, newline, carriage return
// and backslash inside a field are written as \t, \n, \r and \\; a null
// field is empty. JSON: the fields by name; bytes that are not valid UTF-8
// become \udcXX escapes (XX the byte), so no byte is lost.
#ifndef URLKEYS_MATCH_OUTPUT_H
#define URLKEYS_MATCH_OUTPUT_H

#include <cstdio>
#include <string>
#include <string_view>

namespace urlkeys::match {

// Appends `text` as a text field: tab, LF, CR and backslash escaped.
void AppendText(std::string* out, std::string_view text);
// Appends `text` as a JSON string, quotes included; bytes that are not
// valid UTF-8 become \udcXX.
void AppendJson(std::string* out, std::string_view text);

class Output {
 public:
  // Each line is written to `out` when it ends.
  Output(FILE* out, bool json);
  // Each line is appended to *sink (which must outlive the Output).
  Output(std::string* sink, bool json);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  bool json() const { return json_; }

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
  // Ends the line and writes it (to a sink it is already there).
  void End();

 private:
  void Key(const char* name);
  void Text(std::string_view s) { AppendText(line_, s); }
  void Json(std::string_view s) { AppendJson(line_, s); }

  FILE* out_ = nullptr;
  bool json_;
  bool first_ = true;
  bool list_first_ = true;
  std::string own_;    // the line, when written to a FILE
  std::string* line_;  // where the line is built: own_ or the sink
};

}  // namespace urlkeys::match

#endif
