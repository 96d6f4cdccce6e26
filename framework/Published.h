// The published properties of a class, as the component text format reads
// and writes them: one small table per class, declared once with TPublish,
// the base class's entries first.
//
//   const TPublishedTable& TTile::Table() {           // TTile derives from TShape
//     static const TPublishedTable table =
//         TPublish<TTile>("TTile", TShape::Table())
//             .Object("Font", &TTile::Font, TFontTable())
//             .Enum("Style", &TTile::Style, &TTile::SetStyle, {"tsTile", "tsStretch"}, tsTile)
//             .Done();
//     return table;
//   }
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "framework/Component.h"
#include "framework/Graphics.h"
#include "framework/Set.h"
#include "framework/SysUtils.h"

namespace vorra {

enum class TPropKind {
  pkInteger,  // 32-bit signed
  pkFloat,
  pkString,   // 8-bit text
  pkBoolean,  // True / False
  pkEnum,     // one of Names, by ordinal
  pkSet,      // a subset of Names: [a, b]
  pkColor,    // a TColor: its cl name when it has one, else the number
  pkObject,   // an owned persistent object whose properties are written with a dot (Font.Name)
  pkBinary,   // bytes in braces; written after all other properties
};

// Integer, boolean, enumeration ordinal, set bits and colour travel as
// int64; floats as double; strings and binary data as bytes.
using TPropValue = std::variant<std::int64_t, double, std::string>;

struct TPublishedTable;

struct TPublishedProperty {
  std::string Name;
  TPropKind Kind = TPropKind::pkInteger;
  std::vector<std::string> Names;  // enumeration or set element names, by ordinal
  // The writer leaves out a property equal to its default; one without a
  // default is always written.
  std::optional<TPropValue> Default;
  std::function<TPropValue(const TPersistent&)> Get;
  // Raises EConvertError for a value the property cannot hold.
  std::function<void(TPersistent&, const TPropValue&)> Set;
  // pkObject: the owned object (nullptr: nothing to read or write) and its table.
  std::function<TPersistent*(const TPersistent&)> GetObject;
  const TPublishedTable* Table = nullptr;
};

// An object written or read as a nested "object ... end" block, with its table.
struct TChildRef {
  TPersistent* Object = nullptr;
  const TPublishedTable* Table = nullptr;
};

struct TPublishedTable {
  std::string ClassName;
  std::vector<TPublishedProperty> Properties;
  // Optional: the owned objects written as nested blocks after the properties.
  std::function<std::vector<TChildRef>(const TPersistent&)> Children;
  // Optional: makes a nested block's object, owned by the parent; an empty
  // ref for a class it does not know, so the reader skips the block.
  std::function<TChildRef(TPersistent& Parent, const std::string& ClassName)> CreateChild;

  // By name, letter case ignored; nullptr when absent.
  const TPublishedProperty* Find(const std::string& Name) const;
};

// The names of the colour constants (clBlack, clBtnFace...), both ways.
bool ColorToIdent(TColor Color, std::string& Ident);
bool IdentToColor(const std::string& Ident, TColor& Color);

// The font's stored properties: Color, Height, Name, Style.
const TPublishedTable& TFontTable();

namespace published_detail {

template <class T>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<TSet<E>> : std::true_type {
  using Element = E;
};

// Set elements are visited only up to the number of names: converting a
// larger number to an enumeration is undefined.
template <class T>
std::int64_t ToOrd(const T& v, unsigned elements) {
  if constexpr (std::is_same_v<T, bool>) {
    return v ? 1 : 0;
  } else if constexpr (IsSet<T>::value) {
    std::uint64_t bits = 0;
    for (unsigned i = 0; i < elements && i < 64; ++i)
      if (v.Contains(static_cast<typename IsSet<T>::Element>(i))) bits |= std::uint64_t{1} << i;
    return static_cast<std::int64_t>(bits);
  } else {
    return static_cast<std::int64_t>(v);
  }
}

template <class T>
T FromOrd(std::int64_t v, unsigned elements) {
  if constexpr (std::is_same_v<T, bool>) {
    return v != 0;
  } else if constexpr (IsSet<T>::value) {
    T s;
    for (unsigned i = 0; i < elements && i < 64; ++i)
      if ((static_cast<std::uint64_t>(v) >> i) & 1u) s.Include(static_cast<typename IsSet<T>::Element>(i));
    return s;
  } else if constexpr (std::is_enum_v<T>) {
    return static_cast<T>(v);
  } else {
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
      throw EConvertError(IntToStr(v) + " is out of range");
    return static_cast<T>(v);
  }
}

template <class T>
TPropValue ToValue(const T& v, unsigned elements) {
  if constexpr (std::is_floating_point_v<T>)
    return static_cast<double>(v);
  else if constexpr (std::is_convertible_v<const T&, std::string>)
    return std::string(v);
  else
    return ToOrd(v, elements);
}

template <class T>
T FromValue(const TPropValue& v, unsigned elements) {
  if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(std::get<double>(v));
  else if constexpr (std::is_convertible_v<const std::string&, T>)
    return std::get<std::string>(v);
  else
    return FromOrd<T>(std::get<std::int64_t>(v), elements);
}

}  // namespace published_detail

// Builds the table of class C. Getters are anything callable on a const C&
// (a const member function, a lambda); setters anything callable on (C&, value).
template <class C>
class TPublish {
  template <class G>
  using ValueOf = std::remove_cvref_t<std::invoke_result_t<G, const C&>>;

 public:
  explicit TPublish(std::string ClassName, const TPublishedTable& Base = {}) : table_(Base) {
    table_.ClassName = std::move(ClassName);
  }

  template <class G, class S>
  TPublish& Integer(std::string Name, G Get, S Set, std::optional<ValueOf<G>> Default = std::nullopt) {
    static_assert(std::is_integral_v<ValueOf<G>> && sizeof(ValueOf<G>) <= 4, "32-bit integers only");
    return Add(TPropKind::pkInteger, std::move(Name), Get, Set, {}, Default);
  }
  // A float equal to Default (0 unless given) is left out.
  template <class G, class S>
  TPublish& Float(std::string Name, G Get, S Set, ValueOf<G> Default = 0) {
    return Add(TPropKind::pkFloat, std::move(Name), Get, Set, {}, std::optional<ValueOf<G>>(Default));
  }
  // A string equal to Default (empty unless given) is left out.
  template <class G, class S>
  TPublish& String(std::string Name, G Get, S Set, std::string Default = {}) {
    return Add(TPropKind::pkString, std::move(Name), Get, Set, {}, std::optional<std::string>(std::move(Default)));
  }
  template <class G, class S>
  TPublish& Boolean(std::string Name, G Get, S Set, std::optional<bool> Default = std::nullopt) {
    return Add(TPropKind::pkBoolean, std::move(Name), Get, Set, {}, Default);
  }
  // Names holds the value names in ordinal order.
  template <class G, class S>
  TPublish& Enum(std::string Name, G Get, S Set, std::vector<std::string> Names,
                 std::optional<ValueOf<G>> Default = std::nullopt) {
    return Add(TPropKind::pkEnum, std::move(Name), Get, Set, std::move(Names), Default);
  }
  // The getter answers a TSet; Names are its element names in ordinal order.
  template <class G, class S>
  TPublish& Set(std::string Name, G Get, S Set, std::vector<std::string> Names,
                std::optional<ValueOf<G>> Default = std::nullopt) {
    return Add(TPropKind::pkSet, std::move(Name), Get, Set, std::move(Names), Default);
  }
  template <class G, class S>
  TPublish& Color(std::string Name, G Get, S Set, std::optional<TColor> Default = std::nullopt) {
    return Add(TPropKind::pkColor, std::move(Name), Get, Set, {}, Default);
  }
  // An owned object (a font, a bitmap link) that the getter answers by pointer.
  template <class G>
  TPublish& Object(std::string Name, G Get, const TPublishedTable& Table) {
    TPublishedProperty p;
    p.Name = std::move(Name);
    p.Kind = TPropKind::pkObject;
    p.Table = &Table;
    p.GetObject = [Get](const TPersistent& o) -> TPersistent* {
      return const_cast<std::remove_cvref_t<decltype(*std::invoke(Get, static_cast<const C&>(o)))>*>(
          std::invoke(Get, static_cast<const C&>(o)));
    };
    table_.Properties.push_back(std::move(p));
    return *this;
  }
  // Bytes such as the "Objects" of a skin object: the getter answers them
  // as a string, the setter takes them (and may raise on bad bytes).
  template <class G, class S>
  TPublish& Binary(std::string Name, G Get, S Set) {
    return Add(TPropKind::pkBinary, std::move(Name), Get, Set, {}, std::optional<std::string>());
  }
  // Nested "object" blocks: the children to write, and how to make one read.
  TPublish& Nested(std::function<std::vector<TChildRef>(const C&)> Children,
                   std::function<TChildRef(C& Parent, const std::string& ClassName)> Create) {
    table_.Children = [Children](const TPersistent& o) { return Children(static_cast<const C&>(o)); };
    table_.CreateChild = [Create](TPersistent& o, const std::string& cls) { return Create(static_cast<C&>(o), cls); };
    return *this;
  }

  TPublishedTable Done() { return std::move(table_); }

 private:
  template <class G, class S, class D>
  TPublish& Add(TPropKind Kind, std::string Name, G Get, S Set, std::vector<std::string> Names,
                const std::optional<D>& Default) {
    using T = ValueOf<G>;
    TPublishedProperty p;
    p.Name = std::move(Name);
    p.Kind = Kind;
    const auto elements = static_cast<unsigned>(Names.size());
    p.Names = std::move(Names);
    if (Default) p.Default = published_detail::ToValue<T>(static_cast<T>(*Default), elements);
    p.Get = [Get, elements](const TPersistent& o) {
      return published_detail::ToValue<T>(std::invoke(Get, static_cast<const C&>(o)), elements);
    };
    p.Set = [Set, elements](TPersistent& o, const TPropValue& v) {
      std::invoke(Set, static_cast<C&>(o), published_detail::FromValue<T>(v, elements));
    };
    table_.Properties.push_back(std::move(p));
    return *this;
  }

  TPublishedTable table_;
};

}  // namespace vorra
