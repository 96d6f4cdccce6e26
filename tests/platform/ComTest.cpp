#include "platform/com/Com.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace win {
namespace {

TEST(Com, GuidTextRoundTripsAndRejectsMalformedText) {
  GUID g;
  ASSERT_TRUE(GuidFromString("{d27cdb6e-ae6d-11cf-96b8-444553540000}", g));
  EXPECT_EQ(g.Data1, 0xD27CDB6Eu);
  EXPECT_EQ(g.Data2, 0xAE6D);
  EXPECT_EQ(g.Data3, 0x11CF);
  EXPECT_EQ(g.Data4[0], 0x96);
  EXPECT_EQ(g.Data4[7], 0x00);
  EXPECT_EQ(GuidToString(g), "{D27CDB6E-AE6D-11CF-96B8-444553540000}");
  EXPECT_TRUE(IsEqualGUID(g, MakeGuid("{D27CDB6E-AE6D-11CF-96B8-444553540000}")));
  GUID other = g;
  other.Data4[7] = 1;
  EXPECT_FALSE(IsEqualGUID(g, other));

  for (const char* bad : {"D27CDB6E-AE6D-11CF-96B8-444553540000", "{D27CDB6E-AE6D-11CF-96B8-44455354000}",
                          "{D27CDB6E-AE6D-11CF-96B8-4445535400000}", "{D27CDB6E+AE6D-11CF-96B8-444553540000}",
                          "{G27CDB6E-AE6D-11CF-96B8-444553540000}", "{D27CDB6E-AE6D-11CF-96B8-444553540000", ""}) {
    GUID untouched = GUID_NULL;
    EXPECT_FALSE(GuidFromString(bad, untouched)) << bad;
    EXPECT_TRUE(IsEqualGUID(untouched, GUID_NULL));
  }
}

TEST(Com, BstrKeepsLengthAndEmbeddedZeros) {
  const char16_t text[] = {u'a', 0, u'b'};
  BSTR b = SysAllocStringLen(text, 3);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(SysStringByteLen(b), 6u);
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[3], 0);  // terminated
  SysFreeString(b);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(BstrToUtf8(nullptr), "");
  SysFreeString(nullptr);

  BSTR s = SysAllocString(u"first");
  ASSERT_TRUE(SysReAllocString(&s, u"second!"));
  EXPECT_EQ(SysStringLen(s), 7u);
  SysFreeString(s);
  // Uninitialised length: zeros.
  BSTR z = SysAllocStringLen(nullptr, 4);
  EXPECT_EQ(SysStringLen(z), 4u);
  EXPECT_EQ(z[0], 0);
  SysFreeString(z);
}

TEST(Com, Utf8AndUtf16ConvertBothWaysAndReplaceIllFormedInput) {
  const std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x8E\xAC";  // "Grüße € 🎬"
  const std::u16string w = Utf8ToUtf16(text);
  ASSERT_EQ(w.size(), 10u);  // the film frame is a surrogate pair
  EXPECT_EQ(w[2], u'\u00FC');
  EXPECT_EQ(w[8], 0xD83C);
  EXPECT_EQ(Utf16ToUtf8(w), text);
  BSTR b = SysAllocStringUtf8(text);
  EXPECT_EQ(BstrToUtf8(b), text);
  SysFreeString(b);

  // A stray continuation byte, a cut sequence, an overlong form, an encoded surrogate.
  EXPECT_EQ(Utf8ToUtf16("a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), u"a\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  const char16_t lone[] = {u'x', 0xDC00, u'y', 0xD800};
  EXPECT_EQ(Utf16ToUtf8(lone, 4), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

std::string AsText(const VARIANT& v) {
  TVariant t;
  EXPECT_EQ(VariantChangeType(&t, &v, 0, VT_BSTR), S_OK);
  return BstrToUtf8(t.bstrVal);
}

TEST(Com, VariantChangeTypeConvertsBetweenTextNumbersAndBooleans) {
  EXPECT_EQ(AsText(TVariant::Int(-42)), "-42");
  EXPECT_EQ(AsText(TVariant::Bool(true)), "-1");
  EXPECT_EQ(AsText(TVariant()), "");
  TVariant alpha;
  const TVariant yes = TVariant::Bool(true);
  ASSERT_EQ(VariantChangeType(&alpha, &yes, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_EQ(BstrToUtf8(alpha.bstrVal), "True");

  struct TCase {
    const char* text;
    HRESULT hr;
    LONG value;
  };
  for (const TCase& c : {TCase{" 17 ", S_OK, 17}, TCase{"2.5", S_OK, 2}, TCase{"3.5", S_OK, 4}, TCase{"-8", S_OK, -8},
                         TCase{"abc", DISP_E_TYPEMISMATCH, 0}, TCase{"", DISP_E_TYPEMISMATCH, 0},
                         TCase{"99999999999", DISP_E_OVERFLOW, 0}}) {
    TVariant out;
    const TVariant in = TVariant::Text(c.text);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I4), c.hr) << c.text;
    if (c.hr == S_OK) {
      EXPECT_EQ(out.vt, VT_I4);
      EXPECT_EQ(out.lVal, c.value) << c.text;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY);
    }
  }

  TVariant b;
  const TVariant trueText = TVariant::Text("TRUE");
  ASSERT_EQ(VariantChangeType(&b, &trueText, 0, VT_BOOL), S_OK);
  EXPECT_EQ(b.vt, VT_BOOL);
  EXPECT_EQ(b.boolVal, VARIANT_TRUE);
  const TVariant two = TVariant::Int(2);
  ASSERT_EQ(VariantChangeType(&b, &two, 0, VT_BOOL), S_OK);
  EXPECT_EQ(b.boolVal, -1);  // any non-zero number is VARIANT_TRUE, never 1

  // Null has no value in any type; interfaces are no text.
  TVariant out;
  const TVariant null = TVariant::Null();
  EXPECT_EQ(VariantChangeType(&out, &null, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out, &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
  const TVariant nothing = TVariant::Dispatch(nullptr);
  EXPECT_EQ(VariantChangeType(&out, &nothing, 0, VT_BSTR), DISP_E_TYPEMISMATCH);

  // In place: the text is replaced (and freed) by the number.
  TVariant same = TVariant::Text("123");
  ASSERT_EQ(VariantChangeType(&same, &same, 0, VT_I4), S_OK);
  EXPECT_EQ(same.vt, VT_I4);
  EXPECT_EQ(same.lVal, 123);
}

TEST(Com, VariantChangeTypeReadsThroughReferences) {
  TVariant inner = TVariant::Text("55");
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &inner;
  TVariant out;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 55);

  VARIANT_BOOL flag = VARIANT_TRUE;
  VARIANT boolRef;
  VariantInit(&boolRef);
  boolRef.vt = VT_BYREF | VT_BOOL;
  boolRef.pboolVal = &flag;
  ASSERT_EQ(VariantChangeType(&out, &boolRef, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, -1);
  // A by-reference variant owns nothing: clearing it leaves the referent alone.
  EXPECT_EQ(VariantClear(&ref), S_OK);
  EXPECT_EQ(BstrToUtf8(inner.bstrVal), "55");

  VARIANT odd;
  VariantInit(&odd);
  odd.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
}

// A dispatch object that records its calls.
class TRecorder : public TComObject<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static constexpr TDispMember kMembers[] = {{"Add", 7}, {"Value", 8}};
    return LookupDispNames(kMembers, 2, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT*) override {
    lastId = id;
    lastFlags = flags;
    raw.clear();
    for (UINT i = 0; i < params->cArgs; ++i) raw.push_back(params->rgvarg[i].lVal);
    named = params->cNamedArgs == 1 ? params->rgdispidNamedArgs[0] : 0;
    if (id == 8 && (flags & DISPATCH_PROPERTYPUT)) {
      value = params->rgvarg[0].lVal;
      return S_OK;
    }
    if (id == 8) {
      if (info) info->bstrDescription = SysAllocStringUtf8("boom");
      return DISP_E_EXCEPTION;
    }
    LONG a = 0, b = 0;
    TVariant(*DispArg(params, 0)).ToInt(a);
    TVariant(*DispArg(params, 1)).ToInt(b);
    result->vt = VT_I4;
    result->lVal = a * 10 + b;  // order shows
    return S_OK;
  }
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
  DISPID lastId = 0, named = 0;
  WORD lastFlags = 0;
  std::vector<LONG> raw;
  LONG value = 0;
};

TEST(Com, LateBoundCallsPassArgumentsLastFirstAndNameMembersIgnoringCase) {
  const long before = ComObjectsAlive();
  {
    auto rec = TComPtr<TRecorder>::Attach(new TRecorder);
    TVariant result;
    ASSERT_EQ(DispCallMethod(rec.Get(), "aDD", {TVariant::Int(1), TVariant::Text("2")}, &result), S_OK);
    EXPECT_EQ(rec->lastId, 7);
    EXPECT_EQ(rec->lastFlags, DISPATCH_METHOD);
    EXPECT_EQ(result.lVal, 12);
    ASSERT_EQ(rec->raw.size(), 2u);
    EXPECT_EQ(rec->raw[1], 1);  // the first argument is last in rgvarg

    ASSERT_EQ(DispPutProperty(rec.Get(), "VALUE", TVariant::Int(5)), S_OK);
    EXPECT_EQ(rec->lastFlags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(rec->named, DISPID_PROPERTYPUT);
    EXPECT_EQ(rec->value, 5);

    EXPECT_EQ(DispGetProperty(rec.Get(), "Missing", result), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(DispErrorText(DISP_E_UNKNOWNNAME, "Missing"), "'Missing' not supported.");
    EXCEPINFO info;
    const TVariant none;
    EXPECT_EQ(DispInvoke(rec.Get(), 8, DISPATCH_PROPERTYGET, &none, 0, &result, &info), DISP_E_EXCEPTION);
    EXPECT_EQ(BstrToUtf8(info.bstrDescription), "boom");
    ClearExcepInfo(&info);
    EXPECT_EQ(ComObjectsAlive(), before + 1);
  }
  EXPECT_EQ(ComObjectsAlive(), before);
}

TEST(Com, ObjectsCountReferencesAndAnswerOnlyTheirInterfaces) {
  const long before = ComObjectsAlive();
  TRecorder* raw = new TRecorder;
  EXPECT_EQ(ComObjectsAlive(), before + 1);
  IUnknown* unk = nullptr;
  ASSERT_EQ(raw->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
  IDispatch* disp = nullptr;
  ASSERT_EQ(raw->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)), S_OK);
  EXPECT_EQ(static_cast<void*>(unk), static_cast<void*>(disp));  // one identity
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(raw->QueryInterface(MakeGuid("{11111111-2222-3333-4444-555555555555}"), &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(raw->QueryInterface(IID_IDispatch, nullptr), E_POINTER);

  {
    // Variants hold references of their own.
    TVariant v = TVariant::Dispatch(disp);
    TVariant copy = v;
    EXPECT_EQ(disp->AddRef(), 6u);
    disp->Release();
  }
  TComPtr<IDispatch> held(disp);
  TComPtr<IUnknown> asUnknown;
  EXPECT_EQ(held.As(IID_IUnknown, asUnknown), S_OK);
  EXPECT_EQ(unk->Release(), 4u);
  EXPECT_EQ(disp->Release(), 3u);
  asUnknown = nullptr;
  held = nullptr;
  EXPECT_EQ(ComObjectsAlive(), before + 1);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(ComObjectsAlive(), before);
}

TEST(Com, ErrorInfoIsHandedOverOncePerThread) {
  const long before = ComObjectsAlive();
  TComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.Put()), S_OK);
  create->SetSource(const_cast<LPOLESTR>(u"VorraExtMenu.Vorra"));
  create->SetDescription(const_cast<LPOLESTR>(u"Out of paper"));
  create->SetGUID(IID_IDispatch);
  TComPtr<IErrorInfo> info;
  ASSERT_EQ(create.As(IID_IErrorInfo, info), S_OK);
  ASSERT_EQ(SetErrorInfo(0, info.Get()), S_OK);
  create = nullptr;
  info = nullptr;
  EXPECT_EQ(ComObjectsAlive(), before + 1);  // the thread holds it

  TComPtr<IErrorInfo> got;
  ASSERT_EQ(GetErrorInfo(0, got.Put()), S_OK);
  BSTR text = nullptr;
  got->GetDescription(&text);
  EXPECT_EQ(BstrToUtf8(text), "Out of paper");
  SysFreeString(text);
  got->GetSource(&text);
  EXPECT_EQ(BstrToUtf8(text), "VorraExtMenu.Vorra");
  SysFreeString(text);
  GUID g;
  got->GetGUID(&g);
  EXPECT_TRUE(IsEqualGUID(g, IID_IDispatch));
  // Taken: the next caller finds none.
  IErrorInfo* none = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  EXPECT_EQ(none, nullptr);
  got = nullptr;
  EXPECT_EQ(ComObjectsAlive(), before);
}

TEST(ComSafeArray, ByteVectorsAreCopiedWithTheirVariantsAndRefuseDestructionWhileLocked) {
  EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 4), nullptr);  // bytes only
  const unsigned char bytes[5] = {4, 0, 'a', 'b', 0};
  TVariant a;
  a.vt = VT_ARRAY | VT_UI1;
  a.parray = SafeArrayCreateVector(VT_UI1, 0, 5);
  ASSERT_NE(a.parray, nullptr);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(a.parray, &data), S_OK);
  std::memcpy(data, bytes, 5);
  EXPECT_EQ(SafeArrayDestroy(a.parray), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(VariantClear(&a), DISP_E_ARRAYISLOCKED);  // left alone
  EXPECT_EQ(SafeArrayUnaccessData(a.parray), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(a.parray), E_UNEXPECTED);

  TVariant b(a);
  ASSERT_EQ(b.vt, VT_ARRAY | VT_UI1);
  ASSERT_NE(b.parray, a.parray);
  EXPECT_EQ(b.parray->rgsabound[0].cElements, 5u);
  EXPECT_EQ(std::memcmp(b.parray->pvData, bytes, 5), 0);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(a.vt, VT_EMPTY);
  EXPECT_EQ(std::memcmp(b.parray->pvData, bytes, 5), 0);  // the copy owns its bytes
}

}  // namespace
}  // namespace win
