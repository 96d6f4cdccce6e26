// Reading the component text format: text to the model, and the model onto
// an object through its table. Hostile text ends in EComponentTextError,
// never in a crash, a hang or memory the text could not describe.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>

#include "framework/ComponentText.h"

namespace vorra {

namespace {

// Shared by the parser and by reads that binary properties start inside
// other reads, so that "Objects" nested in "Objects" counts too.
thread_local int tDepth = 0;

class TDepthGuard {
 public:
  explicit TDepthGuard(int line) {
    if (tDepth >= MaxComponentTextDepth)
      throw EComponentTextError("Line " + IntToStr(line) + ": Objects nested deeper than " +
                                    IntToStr(MaxComponentTextDepth),
                                line);
    ++tDepth;
  }
  ~TDepthGuard() { --tDepth; }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;
};

[[noreturn]] void Fail(int line, const std::string& msg) {
  throw EComponentTextError("Line " + IntToStr(line) + ": " + msg, line);
}

bool IsIdentStart(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(int c) { return IsIdentStart(c) || IsDigit(c); }
int HexDigit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class TTextParser {
 public:
  explicit TTextParser(const std::string& text) : s_(text) {}

  TTextObject Parse() {
    SkipBlanks();
    TTextObject o = Object();
    SkipBlanks();
    if (!AtEnd()) Fail(line_, "Text after the end of the object");
    return o;
  }

 private:
  bool AtEnd() const { return pos_ >= s_.size(); }
  // -1 at the end, so that a NUL byte is just another character.
  int Peek() const { return AtEnd() ? -1 : static_cast<unsigned char>(s_[pos_]); }

  void SkipBlanks() {
    while (!AtEnd()) {
      const char c = s_[pos_];
      if (c == '\n' || (c == '\r' && (pos_ + 1 >= s_.size() || s_[pos_ + 1] != '\n')))
        ++line_;
      else if (c != ' ' && c != '\t' && c != '\r')
        return;
      ++pos_;
    }
  }

  void Expect(char c, const char* what) {
    SkipBlanks();
    if (Peek() != static_cast<unsigned char>(c)) Fail(line_, std::string(what) + " expected");
    ++pos_;
  }

  std::string Ident(bool dotted, const char* what) {
    SkipBlanks();
    if (!IsIdentStart(Peek())) Fail(line_, std::string(what) + " expected");
    const std::size_t start = pos_;
    for (;;) {
      while (IsIdentChar(Peek())) ++pos_;
      if (!dotted || Peek() != '.' || pos_ + 1 >= s_.size() || !IsIdentStart(static_cast<unsigned char>(s_[pos_ + 1])))
        break;
      ++pos_;
    }
    return s_.substr(start, pos_ - start);
  }

  TTextObject Object() {
    TDepthGuard depth(line_);
    TTextObject o;
    o.Line = line_;
    if (!SameText(Ident(false, "'object'"), "object")) Fail(o.Line, "'object' expected");
    const std::string first = Ident(false, "Class name");
    SkipBlanks();
    if (Peek() == ':') {
      ++pos_;
      o.Name = first;
      o.ClassName = Ident(false, "Class name");
    } else {
      o.ClassName = first;
    }
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail(line_, "'end' of " + o.ClassName + " expected (object at line " + IntToStr(o.Line) + ")");
      const std::size_t start = pos_;
      const int line = line_;
      const std::string name = Ident(true, "Property name");
      if (SameText(name, "end")) break;
      if (SameText(name, "object")) {
        pos_ = start;
        o.Children.push_back(Object());
        continue;
      }
      if (!o.Children.empty()) Fail(line, "Property " + name + " after a nested object");
      o.Properties.push_back(Property(name, line));
    }
    return o;
  }

  TTextProperty Property(std::string name, int line) {
    TTextProperty p;
    p.Name = std::move(name);
    p.Line = line;
    Expect('=', "'='");
    p.Value = Value();
    return p;
  }

  TTextValue Value() {
    SkipBlanks();
    const int c = Peek();
    TTextValue v;
    if (c == '-' || c == '+' || c == '$' || IsDigit(c)) {
      Number(v);
    } else if (c == '\'' || c == '#') {
      v.Type = TTextValueType::tvString;
      v.Text = String();
    } else if (IsIdentStart(c)) {
      v.Type = TTextValueType::tvIdent;
      v.Text = Ident(false, "Identifier");
    } else if (c == '[') {
      v.Type = TTextValueType::tvSet;
      Set(v);
    } else if (c == '(') {
      v.Type = TTextValueType::tvList;
      List(v);
    } else if (c == '<') {
      v.Type = TTextValueType::tvCollection;
      Collection(v);
    } else if (c == '{') {
      v.Type = TTextValueType::tvBinary;
      Binary(v);
    } else {
      Fail(line_, AtEnd() ? "Value expected" : "Invalid value");
    }
    return v;
  }

  void Number(TTextValue& v) {
    const bool negative = Peek() == '-';
    if (Peek() == '-' || Peek() == '+') ++pos_;
    if (Peek() == '$') {
      ++pos_;
      std::uint64_t n = 0;
      int digits = 0;
      for (int d; (d = HexDigit(Peek())) >= 0; ++pos_, ++digits) {
        if (digits == 16) Fail(line_, "Integer out of range");
        n = n << 4 | static_cast<unsigned>(d);
      }
      if (digits == 0) Fail(line_, "Invalid number");
      if (n > static_cast<std::uint64_t>(INT64_MAX)) Fail(line_, "Integer out of range");
      v.Integer = negative ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n);
      return;
    }
    const std::size_t digitsAt = pos_;
    while (IsDigit(Peek())) ++pos_;
    if (pos_ == digitsAt) Fail(line_, "Invalid number");
    bool isFloat = false;
    if (Peek() == '.') {
      isFloat = true;
      ++pos_;
      const std::size_t at = pos_;
      while (IsDigit(Peek())) ++pos_;
      if (pos_ == at) Fail(line_, "Invalid number");
    }
    if (Peek() == 'e' || Peek() == 'E') {
      isFloat = true;
      ++pos_;
      if (Peek() == '-' || Peek() == '+') ++pos_;
      const std::size_t at = pos_;
      while (IsDigit(Peek())) ++pos_;
      if (pos_ == at) Fail(line_, "Invalid number");
    }
    if (IsIdentChar(Peek()) || Peek() == '.') Fail(line_, "Invalid number");
    // from_chars takes no '+' but the minus; the sign is put back by hand.
    const char* first = s_.data() + digitsAt;
    const char* last = s_.data() + pos_;
    if (isFloat) {
      // strtod in the C locale, whatever the program's: it takes what
      // underflows or is subnormal, and only infinity is refused.
      static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
      const std::string digits(first, last);
      char* end = nullptr;
      const double d = strtod_l(digits.c_str(), &end, cLocale);
      if (end != digits.c_str() + digits.size() || !std::isfinite(d)) Fail(line_, "Float out of range");
      v.Type = TTextValueType::tvFloat;
      v.Float = negative ? -d : d;
    } else {
      std::uint64_t n = 0;
      const auto r = std::from_chars(first, last, n);
      const std::uint64_t limit = static_cast<std::uint64_t>(INT64_MAX) + (negative ? 1 : 0);
      if (r.ec != std::errc() || r.ptr != last || n > limit) Fail(line_, "Integer out of range");
      v.Type = TTextValueType::tvInteger;
      v.Integer = negative ? static_cast<std::int64_t>(0 - n) : static_cast<std::int64_t>(n);
    }
  }

  // Quoted runs and #nnn codes, pieces joined with + across lines.
  std::string String() {
    std::string r;
    for (;;) {
      if (Peek() == '\'') {
        ++pos_;
        for (;;) {
          if (AtEnd() || Peek() == '\r' || Peek() == '\n') Fail(line_, "Unterminated string");
          if (Peek() == '\'') {
            ++pos_;
            if (Peek() != '\'') break;
          }
          r += s_[pos_++];
        }
      } else if (Peek() == '#') {
        ++pos_;
        TTextValue code;
        if (!IsDigit(Peek()) && Peek() != '$') Fail(line_, "Character code expected");
        Number(code);
        if (code.Type != TTextValueType::tvInteger || code.Integer < 0 || code.Integer > 255)
          Fail(line_, "Character code out of range");
        r += static_cast<char>(code.Integer);
      } else {
        SkipBlanks();
        if (Peek() != '+') return r;
        ++pos_;
        SkipBlanks();
        if (Peek() != '\'' && Peek() != '#') Fail(line_, "String expected after '+'");
      }
    }
  }

  void Set(TTextValue& v) {
    ++pos_;
    SkipBlanks();
    if (Peek() == ']') {
      ++pos_;
      return;
    }
    for (;;) {
      v.Elements.push_back(Ident(false, "Set element"));
      SkipBlanks();
      if (Peek() == ']') break;
      if (Peek() != ',') Fail(line_, "',' or ']' expected");
      ++pos_;
    }
    ++pos_;
  }

  void List(TTextValue& v) {
    TDepthGuard depth(line_);
    ++pos_;
    for (;;) {
      SkipBlanks();
      if (Peek() == ')') break;
      if (AtEnd()) Fail(line_, "')' expected");
      v.Items.push_back(Value());
    }
    ++pos_;
  }

  void Collection(TTextValue& v) {
    TDepthGuard depth(line_);
    ++pos_;
    for (;;) {
      SkipBlanks();
      if (Peek() == '>') break;
      if (AtEnd()) Fail(line_, "'>' expected");
      if (!SameText(Ident(false, "'item'"), "item")) Fail(line_, "'item' expected");
      std::vector<TTextProperty>& item = v.Collection.emplace_back();
      for (;;) {
        SkipBlanks();
        if (AtEnd()) Fail(line_, "'end' of item expected");
        const int line = line_;
        const std::string name = Ident(true, "Property name");
        if (SameText(name, "end")) break;
        item.push_back(Property(name, line));
      }
    }
    ++pos_;
  }

  void Binary(TTextValue& v) {
    ++pos_;
    int high = -1;
    for (;;) {
      SkipBlanks();
      if (Peek() == '}') break;
      const int d = HexDigit(Peek());
      if (d < 0) Fail(line_, AtEnd() ? "'}' expected" : "Invalid binary data");
      ++pos_;
      if (high < 0) {
        high = d;
      } else {
        v.Text += static_cast<char>(high << 4 | d);
        high = -1;
      }
    }
    if (high >= 0) Fail(line_, "Odd number of hexadecimal digits");
    ++pos_;
  }

  const std::string& s_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

[[noreturn]] void BadValue(const TTextProperty& p) { Fail(p.Line, "Invalid value for property " + p.Name); }

TPropValue Convert(const TPublishedProperty& info, const TTextProperty& p) {
  const TTextValue& v = p.Value;
  switch (info.Kind) {
    case TPropKind::pkInteger:
      if (v.Type != TTextValueType::tvInteger) BadValue(p);
      return v.Integer;
    case TPropKind::pkFloat:
      if (v.Type == TTextValueType::tvFloat) return v.Float;
      if (v.Type == TTextValueType::tvInteger) return static_cast<double>(v.Integer);
      BadValue(p);
    case TPropKind::pkString:
      if (v.Type != TTextValueType::tvString) BadValue(p);
      return v.Text;
    case TPropKind::pkBoolean:
      if (v.Type == TTextValueType::tvIdent && SameText(v.Text, "True")) return std::int64_t{1};
      if (v.Type == TTextValueType::tvIdent && SameText(v.Text, "False")) return std::int64_t{0};
      BadValue(p);
    case TPropKind::pkEnum:
      if (v.Type == TTextValueType::tvIdent)
        for (std::size_t i = 0; i < info.Names.size(); ++i)
          if (SameText(v.Text, info.Names[i])) return static_cast<std::int64_t>(i);
      BadValue(p);
    case TPropKind::pkSet: {
      if (v.Type != TTextValueType::tvSet) BadValue(p);
      std::uint64_t bits = 0;
      for (const std::string& e : v.Elements) {
        std::size_t i = 0;
        while (i < info.Names.size() && i < 64 && !SameText(e, info.Names[i])) ++i;
        if (i == info.Names.size() || i == 64) Fail(p.Line, "Unknown element " + e + " in property " + p.Name);
        bits |= std::uint64_t{1} << i;
      }
      return static_cast<std::int64_t>(bits);
    }
    case TPropKind::pkColor: {
      if (v.Type == TTextValueType::tvInteger) return v.Integer;
      TColor c = 0;
      if (v.Type == TTextValueType::tvIdent && IdentToColor(v.Text, c)) return std::int64_t{c};
      BadValue(p);
    }
    case TPropKind::pkBinary:
      if (v.Type != TTextValueType::tvBinary) BadValue(p);
      return v.Text;
    case TPropKind::pkObject:
      break;
  }
  Fail(p.Line, "Property " + p.Name + " holds an object; set its properties with a dot");
}

void SetProperty(TPersistent& o, const TPublishedTable& table, const std::string& name, const TTextProperty& p,
                 const std::string& className) {
  const TPublishedProperty* info = table.Find(name);
  if (!info || info->Kind == TPropKind::pkObject) {
    const std::size_t dot = name.find('.');
    const TPublishedProperty* owner = dot == std::string::npos ? nullptr : table.Find(name.substr(0, dot));
    if (owner && owner->Kind == TPropKind::pkObject) {
      TPersistent* sub = owner->GetObject(o);
      if (!sub) Fail(p.Line, "Property " + p.Name + " has no object to set");
      SetProperty(*sub, *owner->Table, name.substr(dot + 1), p, className);
      return;
    }
    if (!info) Fail(p.Line, "Unknown property " + p.Name + " of " + className);
  }
  const TPropValue value = Convert(*info, p);
  try {
    info->Set(o, value);
  } catch (const Exception& e) {
    Fail(p.Line, "Property " + p.Name + ": " + e.what());
  }
}

}  // namespace

TTextObject ParseComponentText(const std::string& Text) { return TTextParser(Text).Parse(); }

void TextToComponent(const TTextObject& Text, TPersistent& Object, const TPublishedTable& Table,
                     std::vector<TSkippedObject>* Skipped) {
  if (Text.ClassName != Table.ClassName)
    Fail(Text.Line, "Object of class " + Text.ClassName + " where " + Table.ClassName + " was expected");
  if (auto* c = dynamic_cast<TComponent*>(&Object)) c->SetName(Text.Name);
  for (const TTextProperty& p : Text.Properties) SetProperty(Object, Table, p.Name, p, Table.ClassName);
  for (const TTextObject& child : Text.Children) {
    if (!Table.CreateChild) Fail(child.Line, Table.ClassName + " holds no nested objects");
    const TChildRef ref = Table.CreateChild(Object, child.ClassName);
    if (!ref.Object) {
      if (Skipped) Skipped->push_back({child.ClassName, child.Line});
      continue;
    }
    TextToComponent(child, *ref.Object, *ref.Table, Skipped);
  }
}

void ReadComponentText(const std::string& Text, TPersistent& Object, const TPublishedTable& Table,
                       std::vector<TSkippedObject>* Skipped) {
  const TTextObject t = ParseComponentText(Text);
  TDepthGuard depth(t.Line);
  TextToComponent(t, Object, Table, Skipped);
}

}  // namespace vorra
