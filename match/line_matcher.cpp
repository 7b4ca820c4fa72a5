#include "match/line_matcher.h"

namespace urlkeys::match {

bool HasNamedLists(const KeyStore& store) {
  for (int i = 0; i < store.ListCount(); ++i)
    if (!store.ListName(i).empty()) return true;
  return false;
}

LineMatcher::LineMatcher(const KeyStore& store, bool json, bool count_hits)
    : store_(store), json_(json), named_(HasNamedLists(store)), count_hits_(count_hits) {}

bool LineMatcher::WriteFields(const char* url, Output& out) {
  Hit hit;
  bool found = matcher_.Match(store_, url, &hit);
  if (found) {
    ++matched_;
    if (count_hits_) ++hits_[hit.key];
    out.Field("match", hit.key);
  } else {
    out.Field("match", json_ ? nullptr : "");  // JSON null, or an empty field
  }
  if (named_) {
    out.JoinedBegin("lists");
    for (int i = 0; i < store_.ListCount(); ++i)
      if (hit.lists >> i & 1) out.JoinedItem(store_.ListName(i), ',');
    out.JoinedEnd();
  }
  return found;
}

void LineMatcher::Take(const Line& line, Output& out) {
  if (line.status != LineStatus::kLine) {
    skipped_.push_back(Skipped{splitter_.number(), SkipTextsOf(line.status).reason});
    return;
  }
  out.Begin(line.text);
  WriteFields(line.text, out);
  out.End();
}

void LineMatcher::Feed(char* data, size_t size, std::string* out) {
  Output output(out, json_);
  splitter_.Push(data, size);
  Line line;
  while (splitter_.Next(&line)) Take(line, output);
}

void LineMatcher::Close(std::string* out) {
  Output output(out, json_);
  Line line;
  if (splitter_.Finish(&line)) Take(line, output);
}

void AppendHitRow(std::string* out, std::string_view key, uint64_t count) {
  AppendText(out, key);
  *out += '\t';
  *out += std::to_string(count);
  *out += '\n';
}

void AppendSkippedRow(std::string* out, std::string_view path, uint64_t line,
                      std::string_view reason) {
  AppendText(out, path);
  *out += '\t';
  *out += std::to_string(line);
  *out += '\t';
  out->append(reason);
  *out += '\n';
}

}  // namespace urlkeys::match
