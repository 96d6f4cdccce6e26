// Writing the component text format: objects to the model through their
// tables, and the model to text laid out as the class library's streaming
// lays it out.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/ComponentText.h"

namespace vorra {

namespace {

constexpr std::size_t kStringPiece = 64;  // string bytes per line of a long string
constexpr std::size_t kBinaryPiece = 32;  // bytes per line of binary data

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

// Dotted only for property names: Font.Name.
bool IsIdent(const std::string& s, bool dotted) {
  bool start = true;
  for (char c : s) {
    if (start) {
      if (!IsIdentStart(c)) return false;
      start = false;
    } else if (c == '.' && dotted) {
      start = true;
    } else if (!IsIdentChar(c)) {
      return false;
    }
  }
  return !start;
}

void CheckIdent(const std::string& s, bool dotted, const char* what) {
  if (!IsIdent(s, dotted)) throw EWriteError(std::string("Invalid ") + what + " '" + s + "'");
}

// 16 significant digits; fixed with 18 decimals where they fit, else
// scientific. Re-reading the text gives a double that prints the same.
std::string FormatFloat(double v) {
  if (!std::isfinite(v)) throw EWriteError("Invalid float value");
  // Near the largest double, 16 digits round up past it; 17 stay inside.
  const int significant = std::abs(v) >= 1.797693134862315e308 ? 17 : 16;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, v);
  const bool negative = buf[0] == '-';
  const char* p = buf + (negative ? 1 : 0);
  std::string digits(1, p[0]);
  digits.append(p + 2, static_cast<std::size_t>(significant - 1));
  const int exponent = std::atoi(std::strchr(p, 'e') + 1);
  if (digits.find_first_not_of('0') == std::string::npos) return "0.000000000000000000";
  std::string out = negative ? "-" : "";
  if (exponent >= 16 || exponent < -3) {
    out += digits[0];
    out += '.';
    out += digits.substr(1);
    out += exponent < 0 ? "E-" : "E+";
    out += std::to_string(std::abs(exponent));
    return out;
  }
  std::string fraction;
  if (exponent >= 0) {
    out += digits.substr(0, static_cast<std::size_t>(exponent) + 1);
    fraction = digits.substr(static_cast<std::size_t>(exponent) + 1);
  } else {
    out += '0';
    fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  fraction.resize(18, '0');
  return out + "." + fraction;
}

class TTextPrinter {
 public:
  std::string Print(const TTextObject& o) {
    Object(o, 0);
    return std::move(out_);
  }

 private:
  void Indent(int level) { out_.append(static_cast<std::size_t>(level) * 2, ' '); }
  void NewLine(int level) {
    out_ += "\r\n";
    Indent(level);
  }

  void Object(const TTextObject& o, int level) {
    CheckIdent(o.ClassName, false, "class name");
    Indent(level);
    out_ += "object ";
    if (!o.Name.empty()) {
      CheckIdent(o.Name, false, "component name");
      out_ += o.Name;
      out_ += ": ";
    }
    out_ += o.ClassName;
    out_ += "\r\n";
    for (const TTextProperty& p : o.Properties) {
      Indent(level + 1);
      Property(p, level + 1);
      out_ += "\r\n";
    }
    for (const TTextObject& c : o.Children) Object(c, level + 1);
    Indent(level);
    out_ += "end\r\n";
  }

  // Starts where the caller indented; continuation lines go one level in.
  void Property(const TTextProperty& p, int level) {
    CheckIdent(p.Name, true, "property name");
    out_ += p.Name;
    out_ += " = ";
    Value(p.Value, level);
  }

  void Value(const TTextValue& v, int level) {
    switch (v.Type) {
      case TTextValueType::tvInteger:
        out_ += std::to_string(v.Integer);
        break;
      case TTextValueType::tvFloat:
        out_ += FormatFloat(v.Float);
        break;
      case TTextValueType::tvString:
        String(v.Text, level);
        break;
      case TTextValueType::tvIdent:
        CheckIdent(v.Text, false, "identifier");
        out_ += v.Text;
        break;
      case TTextValueType::tvSet:
        out_ += '[';
        for (std::size_t i = 0; i < v.Elements.size(); ++i) {
          CheckIdent(v.Elements[i], false, "set element");
          if (i) out_ += ", ";
          out_ += v.Elements[i];
        }
        out_ += ']';
        break;
      case TTextValueType::tvList:
        out_ += '(';
        for (const TTextValue& item : v.Items) {
          NewLine(level + 1);
          Value(item, level + 1);
        }
        out_ += ')';
        break;
      case TTextValueType::tvCollection:
        out_ += '<';
        for (const std::vector<TTextProperty>& item : v.Collection) {
          NewLine(level + 1);
          out_ += "item";
          for (const TTextProperty& p : item) {
            NewLine(level + 2);
            Property(p, level + 2);
          }
          NewLine(level + 1);
          out_ += "end";
        }
        out_ += '>';
        break;
      case TTextValueType::tvBinary:
        Binary(v.Text, level);
        break;
    }
  }

  // Printable ASCII in quotes (a quote doubled), every other byte as #nnn.
  void String(const std::string& s, int level) {
    if (s.empty()) {
      out_ += "''";
      return;
    }
    const bool lines = s.size() > kStringPiece;
    for (std::size_t at = 0; at < s.size(); at += kStringPiece) {
      if (lines) NewLine(level + 1);
      bool quoted = false;
      const std::size_t end = std::min(s.size(), at + kStringPiece);
      for (std::size_t i = at; i < end; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= ' ' && c < 127) {
          if (!quoted) out_ += '\'';
          quoted = true;
          out_ += static_cast<char>(c);
          if (c == '\'') out_ += '\'';
        } else {
          if (quoted) out_ += '\'';
          quoted = false;
          out_ += '#';
          out_ += std::to_string(c);
        }
      }
      if (quoted) out_ += '\'';
      if (end < s.size()) out_ += " +";
    }
  }

  void Binary(const std::string& bytes, int level) {
    static const char kHex[] = "0123456789ABCDEF";
    out_ += '{';
    for (std::size_t at = 0; at < bytes.size(); at += kBinaryPiece) {
      NewLine(level + 1);
      const std::size_t end = std::min(bytes.size(), at + kBinaryPiece);
      for (std::size_t i = at; i < end; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        out_ += kHex[c >> 4];
        out_ += kHex[c & 15];
      }
    }
    out_ += '}';
  }

  std::string out_;
};

TTextValue OrdinalValue(const TPublishedProperty& p, std::int64_t v) {
  TTextValue t;
  switch (p.Kind) {
    case TPropKind::pkBoolean:
      t.Type = TTextValueType::tvIdent;
      t.Text = v ? "True" : "False";
      break;
    case TPropKind::pkEnum:
      if (v < 0 || v >= static_cast<std::int64_t>(p.Names.size()))
        throw EWriteError("Property " + p.Name + " holds no value of its type (" + IntToStr(v) + ")");
      t.Type = TTextValueType::tvIdent;
      t.Text = p.Names[static_cast<std::size_t>(v)];
      break;
    case TPropKind::pkSet: {
      t.Type = TTextValueType::tvSet;
      const auto bits = static_cast<std::uint64_t>(v);
      for (unsigned i = 0; i < 64; ++i) {
        if (!((bits >> i) & 1u)) continue;
        if (i >= p.Names.size()) throw EWriteError("Property " + p.Name + " holds an unnamed set element");
        t.Elements.push_back(p.Names[i]);
      }
      break;
    }
    case TPropKind::pkColor:
      if (ColorToIdent(static_cast<TColor>(v), t.Text))
        t.Type = TTextValueType::tvIdent;
      else
        t.Integer = v;
      break;
    default:
      t.Integer = v;
      break;
  }
  return t;
}

void AddProperties(const TPersistent& o, const TPublishedTable& table, const std::string& prefix,
                   std::vector<TTextProperty>& plain, std::vector<TTextProperty>& binary) {
  for (const TPublishedProperty& p : table.Properties) {
    if (p.Kind == TPropKind::pkObject) {
      if (const TPersistent* sub = p.GetObject(o)) AddProperties(*sub, *p.Table, prefix + p.Name + ".", plain, binary);
      continue;
    }
    const TPropValue v = p.Get(o);
    if (p.Default && *p.Default == v) continue;
    TTextProperty t;
    t.Name = prefix + p.Name;
    switch (p.Kind) {
      case TPropKind::pkFloat:
        t.Value.Type = TTextValueType::tvFloat;
        t.Value.Float = std::get<double>(v);
        break;
      case TPropKind::pkString:
      case TPropKind::pkBinary:
        t.Value.Type = p.Kind == TPropKind::pkString ? TTextValueType::tvString : TTextValueType::tvBinary;
        t.Value.Text = std::get<std::string>(v);
        break;
      default:
        t.Value = OrdinalValue(p, std::get<std::int64_t>(v));
        break;
    }
    (p.Kind == TPropKind::pkBinary ? binary : plain).push_back(std::move(t));
  }
}

}  // namespace

std::string PrintComponentText(const TTextObject& Object) { return TTextPrinter().Print(Object); }

TTextObject ComponentToText(const TPersistent& Object, const TPublishedTable& Table) {
  TTextObject t;
  t.ClassName = Table.ClassName;
  if (const auto* c = dynamic_cast<const TComponent*>(&Object)) t.Name = c->Name();
  std::vector<TTextProperty> binary;
  AddProperties(Object, Table, "", t.Properties, binary);
  for (TTextProperty& p : binary) t.Properties.push_back(std::move(p));
  if (Table.Children)
    for (const TChildRef& child : Table.Children(Object)) t.Children.push_back(ComponentToText(*child.Object, *child.Table));
  return t;
}

std::string WriteComponentText(const TPersistent& Object, const TPublishedTable& Table) {
  return PrintComponentText(ComponentToText(Object, Table));
}

}  // namespace vorra
