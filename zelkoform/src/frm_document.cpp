#include "frm_document.h"

#include <cstdlib>
#include <sstream>

#include "zplatform/ascii.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace zelkoform {
namespace {

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool StartsWith(const std::string &s, const char *prefix) {
  return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Containers in real forms nest a few levels; a deeper file is damaged or made up, and
// reading it by recursion would exhaust the stack.
constexpr int kMaxNesting = 64;

// Splits a value from its trailing comment, leaving quotes intact.
void SplitComment(const std::string &rest, std::string *value, std::string *comment) {
  bool quoted = false;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '"') quoted = !quoted;
    if (rest[i] == '\'' && !quoted) {
      *value = Trim(rest.substr(0, i));
      *comment = rest.substr(i + 1);
      return;
    }
  }
  *value = Trim(rest);
  comment->clear();
}

FrmProperty ParseProperty(const std::string &line) {
  FrmProperty p;
  size_t eq = line.find('=');
  p.name = Trim(line.substr(0, eq));
  SplitComment(line.substr(eq + 1), &p.value, &p.comment);
  return p;
}

struct Parser {
  std::vector<std::string> lines;
  size_t at = 0;
  std::vector<std::string> *problems;

  void Problem(const std::string &what) {
    if (problems) problems->push_back("line " + std::to_string(at) + ": " + what);
  }

  // Passes over the lines of an object whose Begin line has just been read, up to its End.
  void SkipObject() {
    size_t depth = 1;
    while (at < lines.size() && depth > 0) {
      std::string line = Trim(lines[at++]);
      if (StartsWith(line, "Begin ")) ++depth;
      if (line == "End") --depth;
    }
  }

  // Parses the object whose "Begin TYPE NAME" line (`raw_begin`, as read) has just been read;
  // `depth` counts the objects around it.
  FrmObject Object(const std::string &raw_begin, int depth = 0) {
    FrmObject o;
    o.raw_begin = raw_begin;
    std::istringstream words(Trim(raw_begin).substr(6));
    words >> o.type >> o.name;
    while (at < lines.size()) {
      const std::string &raw = lines[at++];
      std::string line = Trim(raw);
      if (line.empty()) continue;
      if (line == "End") {
        o.raw_end = raw;
        return o;
      }
      if (StartsWith(line, "Begin ")) {
        if (depth + 1 >= kMaxNesting) {
          Problem("objects nested more than " + std::to_string(kMaxNesting) +
                  " deep, left out: " + line);
          SkipObject();
          continue;
        }
        o.children.push_back(Object(raw, depth + 1));
        o.order += 'C';
      } else if (StartsWith(line, "BeginProperty ")) {
        FrmBlock block;
        block.header = Trim(line.substr(14));
        block.raw.push_back(raw);
        int depth = 1;
        while (at < lines.size()) {
          block.raw.push_back(lines[at]);
          std::string inner = Trim(lines[at++]);
          if (StartsWith(inner, "BeginProperty ")) ++depth;
          if (inner == "EndProperty" && --depth == 0) break;
          if (inner.find('=') != std::string::npos)
            block.properties.push_back(ParseProperty(inner));
        }
        o.blocks.push_back(std::move(block));
        o.order += 'B';
      } else if (line.find('=') != std::string::npos) {
        o.properties.push_back(ParseProperty(line));
        o.properties.back().raw = raw;
        o.order += 'P';
      } else {
        Problem("not understood: " + line);
      }
    }
    Problem("\"End\" missing for " + o.name);
    return o;
  }
};

}  // namespace

const FrmProperty *FrmObject::Find(const std::string &n) const {
  for (const FrmProperty &p : properties) {
    if (p.name.size() == n.size()) {
      bool same = true;
      for (size_t i = 0; i < n.size() && same; ++i)
        same = zplatform::ToLowerAscii(p.name[i]) == zplatform::ToLowerAscii(n[i]);
      if (same) return &p;
    }
  }
  return nullptr;
}

long long FrmObject::Number(const std::string &name, long long fallback) const {
  const FrmProperty *p = Find(name);
  if (p == nullptr) return fallback;
  std::string value = p->value;
  value = zplatform::LowerAscii(value);
  if (value == "true") return -1;
  if (value == "false") return 0;
  return FrmNumber(p->value).value_or(fallback);
}

std::string FrmObject::Text(const std::string &name) const {
  const FrmProperty *p = Find(name);
  if (p == nullptr) return std::string();
  return UnquoteFrmString(p->value).value_or(p->value);
}

std::optional<FrmDocument> ParseFrm(const std::string &text, std::vector<std::string> *problems) {
  Parser p;
  p.problems = problems;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    p.lines.push_back(line);
  }
  FrmDocument doc;
  bool have_form = false;
  bool in_code = false;
  while (p.at < p.lines.size()) {
    std::string raw = p.lines[p.at++];
    std::string l = Trim(raw);
    if (in_code) {
      // The code is the developer's: every line stays as written, blank ones and the
      // attributes of procedures included.
      doc.code_lines.push_back(raw);
      continue;
    }
    if (l.empty()) continue;
    if (!have_form) {
      if (StartsWith(l, "VERSION ")) {
        doc.version = Trim(l.substr(8));
      } else if (StartsWith(l, "Object")) {
        doc.object_lines.push_back(l);
      } else if (StartsWith(l, "Begin ")) {
        doc.form = p.Object(raw);
        have_form = true;
      } else {
        p.Problem("not understood before the form: " + l);
      }
    } else if (StartsWith(l, "Attribute ")) {
      doc.attribute_lines.push_back(l);
    } else {
      doc.code_lines.push_back(raw);
      in_code = true;
    }
  }
  if (!have_form) return std::nullopt;
  return doc;
}

std::optional<FrmDocument> ReadFrmFile(const std::string &path,
                                       std::vector<std::string> *problems) {
  auto bytes = zplatform::ReadWholeFile(path);
  if (!bytes) {
    if (problems) problems->push_back("cannot read " + path);
    return std::nullopt;
  }
  return ParseFrm(zplatform::CodePage(932).ToUtf8(*bytes), problems);
}

namespace {

void WriteObject(std::string &out, const FrmObject &o, int depth, bool vb2) {
  std::string pad(depth * 3, ' ');
  out += (o.raw_begin.empty() ? pad + "Begin " + o.type + " " + o.name + (depth > 0 ? " " : "")
                              : o.raw_begin) +
         "\r\n";
  std::string inner(depth * 3 + 3, ' ');
  auto line = [&](const FrmProperty &p, const std::string &indent) {
    if (!p.raw.empty()) {
      out += p.raw + "\r\n";
      return;
    }
    std::string name = p.name;
    if (name.size() < 16) name.resize(16, ' ');
    out += indent + name + "=   " + p.value;
    if (!p.comment.empty()) out += "  '" + p.comment;
    out += "\r\n";
  };
  auto block = [&](const FrmBlock &b) {
    if (!b.raw.empty()) {
      for (const std::string &l : b.raw)
        out += l + "\r\n";
      return;
    }
    out += inner + "BeginProperty " + b.header + "\r\n";
    for (const FrmProperty &p : b.properties)
      line(p, inner + "   ");
    out += inner + "EndProperty\r\n";
  };
  // In the order read; what was added since goes after the properties and blocks read, or
  // at the end for children.
  size_t properties = 0, blocks = 0, children = 0;
  auto rest_of_properties = [&] {
    while (properties < o.properties.size())
      line(o.properties[properties++], inner);
    while (blocks < o.blocks.size())
      block(o.blocks[blocks++]);
  };
  for (char kind : o.order) {
    if (kind == 'P' && properties < o.properties.size()) {
      line(o.properties[properties++], inner);
    } else if (kind == 'B' && blocks < o.blocks.size()) {
      block(o.blocks[blocks++]);
    } else if (kind == 'C') {
      rest_of_properties();
      if (children < o.children.size()) WriteObject(out, o.children[children++], depth + 1, vb2);
    }
  }
  rest_of_properties();
  while (children < o.children.size())
    WriteObject(out, o.children[children++], depth + 1, vb2);
  out += (o.raw_end.empty() ? pad + "End" : o.raw_end) + "\r\n";
}

}  // namespace

std::string WriteFrm(const FrmDocument &doc) {
  std::string out;
  if (!doc.version.empty()) out += "VERSION " + doc.version + "\r\n";
  for (const std::string &l : doc.object_lines)
    out += l + "\r\n";
  WriteObject(out, doc.form, 0, doc.version == "2.00");
  for (const std::string &l : doc.attribute_lines)
    out += l + "\r\n";
  for (const std::string &l : doc.code_lines)
    out += l + "\r\n";
  return out;
}

std::string FrmFileBytes(const FrmDocument &doc) {
  return zplatform::CodePage(932).FromUtf8(WriteFrm(doc));
}

std::string CharacterAFormCannotKeep(const std::string &utf8) {
  const zplatform::CodePage form_code_page(932);
  std::string bytes;
  if (form_code_page.FromUtf8Holds(utf8, &bytes)) return std::string();
  for (size_t at = 0; at < utf8.size();) {
    const size_t length = zplatform::Utf8SequenceLength(std::string_view(utf8).substr(at));
    const std::string character = utf8.substr(at, length);
    if (character != "\xEF\xBF\xBD" && !form_code_page.FromUtf8Holds(character, &bytes))
      return character;
    at += length;
  }
  return std::string();
}

bool WriteFrmFile(const std::string &path, const FrmDocument &doc) {
  return zplatform::ReplaceFileAtomically(path, FrmFileBytes(doc)).ok;
}

std::optional<std::string> UnquoteFrmString(const std::string &value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    out.push_back(value[i]);
    if (value[i] == '"' && i + 2 < value.size() && value[i + 1] == '"') ++i;
  }
  return out;
}

std::string QuoteFrmString(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

std::optional<long long> FrmNumber(const std::string &value) {
  if (value.empty()) return std::nullopt;
  const char *s = value.c_str();
  char *end = nullptr;
  long long v;
  if ((value[0] == '&') && value.size() > 2 && (value[1] == 'H' || value[1] == 'h')) {
    v = std::strtoll(s + 2, &end, 16);
    if (*end == '&') ++end;
  } else {
    v = std::strtoll(s, &end, 10);
  }
  if (end == s) return std::nullopt;
  return v;
}

}  // namespace zelkoform
