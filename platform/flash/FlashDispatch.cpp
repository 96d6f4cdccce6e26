// The player's automation object: members by name (case ignored) and by
// the DISPIDs of the control's public interface.
#include <iterator>

#include "platform/flash/FlashControl.h"

namespace flash {

using namespace win;

namespace {

const TDispMember kMembers[] = {
    {"ReadyState", dispid::ReadyState}, {"Movie", dispid::Movie},
    {"Quality", dispid::Quality},       {"Loop", dispid::Loop},
    {"FrameNum", dispid::FrameNum},     {"Play", dispid::Play},
    {"Stop", dispid::Stop},             {"Back", dispid::Back},
    {"Forward", dispid::Forward},       {"Rewind", dispid::Rewind},
    {"ScaleMode", dispid::ScaleMode},   {"BackgroundColor", dispid::BackgroundColor},
    {"TotalFrames", dispid::TotalFrames}, {"Playing", dispid::Playing},
    {"GotoFrame", dispid::GotoFrame},   {"CurrentFrame", dispid::CurrentFrame},
    {"IsPlaying", dispid::IsPlaying},   {"WMode", dispid::WMode},
    {"Scale", dispid::Scale},           {"Quality2", dispid::Quality2},
};

// The Quality numbers of the public interface; the other names have none.
const char* const kQualityByNumber[] = {"Low", "High", "AutoLow", "AutoHigh"};

class TFlashDispatch final : public TComObject<IDispatch> {
 public:
  explicit TFlashDispatch(TFlashControl* control) : control_(control) {}
  void Detach() { control_ = nullptr; }

  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return LookupDispNames(kMembers, std::size(kMembers), names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT*) override;

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }

 private:
  TFlashControl* control_;
};

// A property write's value: the named DISPID_PROPERTYPUT argument, or the last positional one.
const VARIANT* PutValue(const DISPPARAMS* params) {
  if (!params || !params->rgvarg) return nullptr;
  for (UINT i = 0; i < params->cNamedArgs; ++i)
    if (params->rgdispidNamedArgs && params->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) {
      const VARIANT* v = &params->rgvarg[i];
      return v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal ? v->pvarVal : v;
    }
  const UINT n = DispArgCount(params);
  return n ? DispArg(params, n - 1) : nullptr;
}

HRESULT Answer(VARIANT* result, TVariant value) {
  if (result) {
    VariantClear(result);
    *result = value;
    VariantInit(&value);
  }
  return S_OK;
}

HRESULT TFlashDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                               UINT*) {
  if (!control_) return E_UNEXPECTED;
  TFlashControl& c = *control_;
  const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  const bool get = !put;
  const VARIANT* arg = put ? PutValue(params) : DispArg(params, 0);
  std::string text;
  LONG number = 0;
  bool flag = false;
  const auto argText = [&] { return arg && TVariant(*arg).ToText(text); };
  const auto argInt = [&] { return arg && TVariant(*arg).ToInt(number); };
  const auto argBool = [&] { return arg && TVariant(*arg).ToBool(flag); };
  if (put && !arg) return DISP_E_BADPARAMCOUNT;

  switch (id) {
    case dispid::Movie:
      if (get) return Answer(result, TVariant::Text(c.Movie()));
      if (!argText()) return DISP_E_TYPEMISMATCH;
      c.SetMovie(text);
      return S_OK;
    case dispid::BackgroundColor:
      if (get) return Answer(result, TVariant::Int(c.BackgroundColor()));
      if (!argInt()) return DISP_E_TYPEMISMATCH;
      c.SetBackgroundColor(number);
      return S_OK;
    case dispid::Playing:
      if (get) return Answer(result, TVariant::Bool(c.Playing()));
      if (!argBool()) return DISP_E_TYPEMISMATCH;
      c.SetPlaying(flag);
      return S_OK;
    case dispid::Loop:
      if (get) return Answer(result, TVariant::Bool(c.Loop()));
      if (!argBool()) return DISP_E_TYPEMISMATCH;
      c.SetLoop(flag);
      return S_OK;
    case dispid::Quality2:
      if (get) return Answer(result, TVariant::Text(c.Quality2()));
      if (!argText()) return DISP_E_TYPEMISMATCH;
      return c.SetQuality2(text) ? S_OK : E_INVALIDARG;
    case dispid::Quality:
      if (get) {
        for (LONG i = 0; i < static_cast<LONG>(std::size(kQualityByNumber)); ++i)
          if (c.Quality2() == kQualityByNumber[i]) return Answer(result, TVariant::Int(i));
        return Answer(result, TVariant::Int(1));
      }
      if (!argInt()) return DISP_E_TYPEMISMATCH;
      if (number < 0 || number >= static_cast<LONG>(std::size(kQualityByNumber))) return E_INVALIDARG;
      c.SetQuality2(kQualityByNumber[number]);
      return S_OK;
    case dispid::Scale:
      if (get) return Answer(result, TVariant::Text(c.Scale()));
      if (!argText()) return DISP_E_TYPEMISMATCH;
      return c.SetScale(text) ? S_OK : E_INVALIDARG;
    case dispid::ScaleMode:
      if (get) return Answer(result, TVariant::Int(static_cast<LONG>(c.ScaleMode())));
      if (!argInt()) return DISP_E_TYPEMISMATCH;
      if (number < 0 || number > 3) return E_INVALIDARG;
      c.SetScaleMode(static_cast<TScaleMode>(number));
      return S_OK;
    case dispid::WMode:
      if (get) return Answer(result, TVariant::Text(c.WMode()));
      if (!argText()) return DISP_E_TYPEMISMATCH;
      return c.SetWMode(text) ? S_OK : E_INVALIDARG;
    case dispid::FrameNum:
      if (get) return Answer(result, TVariant::Int(c.CurrentFrame()));
      if (!argInt()) return DISP_E_TYPEMISMATCH;
      c.GotoFrame(number);
      return S_OK;
    case dispid::ReadyState:
      if (put) return DISP_E_MEMBERNOTFOUND;
      return Answer(result, TVariant::Int(c.ReadyState()));
    case dispid::TotalFrames:
      if (put) return DISP_E_MEMBERNOTFOUND;
      return Answer(result, TVariant::Int(c.TotalFrames()));
    case dispid::CurrentFrame: return put ? DISP_E_MEMBERNOTFOUND : Answer(result, TVariant::Int(c.CurrentFrame()));
    case dispid::IsPlaying: return put ? DISP_E_MEMBERNOTFOUND : Answer(result, TVariant::Bool(c.Playing()));
    case dispid::GotoFrame:
      if (!argInt()) return arg ? DISP_E_TYPEMISMATCH : DISP_E_BADPARAMCOUNT;
      c.GotoFrame(number);
      return S_OK;
    case dispid::Play: c.Play(); return S_OK;
    case dispid::Stop: c.Stop(); return S_OK;
    case dispid::Rewind: c.GotoFrame(0); return S_OK;
    case dispid::Back:
      c.GotoFrame(c.CurrentFrame() - 1);
      c.Stop();
      return S_OK;
    case dispid::Forward:
      c.GotoFrame(c.CurrentFrame() + 1);
      c.Stop();
      return S_OK;
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

IDispatch* NewFlashDispatch(TFlashControl* control) { return new TFlashDispatch(control); }

void DetachFlashDispatch(IDispatch* object) {
  if (object) static_cast<TFlashDispatch*>(object)->Detach();
}

}  // namespace flash
