#include "main/DownProgress.h"

#include <cstdio>
#include <vector>

#include "main/AppFiles.h"
#include "platform/ui/Messages.h"

namespace vorra {

// ---- The dialog ----

win::TWebBrowserSettings TDownLoadFrm::LoaderBrowserSettings() {
  win::TWebBrowserSettings settings;
  settings.TimeoutMs = 24L * 3600 * 1000;
  return settings;
}

TDownLoadFrm::TDownLoadFrm(TComponent* AOwner, TCustomComboBox* address, TListBox* flashList,
                           const win::TWebBrowserSettings& settings)
    : TForm(AOwner), FAddress(address), FFlashList(flashList) {
  SetName("DownLoadFrm");
  SetCaption("Progress");
  SetBorderStyle(bsDialog);
  SetBorderIcons({});
  SetPosition(poMainFormCenter);
  SetClientWidth(361);
  SetClientHeight(90);

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(8, 12, 345, 13);
  Label1->SetCaption("");

  pb = new TProgressBar(this);
  pb->SetName("pb");
  pb->SetParent(this);
  pb->SetBounds(8, 32, 345, 17);
  pb->SetMin(0);

  Wb = new TWebHost(this, settings);
  Wb->SetName("Wb");
  Wb->SetParent(this);
  Wb->SetBounds(2, 1, 1, 1);
  SetPageLoaderOptions(Wb);

  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(143, 58, 75, 25);
  Button1->SetCaption("Cancel");
  Button1->SetDefault(true);
  Button1->SetModalResult(mrCancel);

  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetInterval(100);
  Timer1->SetEnabled(false);

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Wb->OnProgressChange = [this](TObject* s, int p, int m) { WbProgressChange(s, p, m); };
  Wb->OnNewWindow2 = [this](TObject* s, win::IDispatch*& d, win::VARIANT_BOOL& c) { WbNewWindow2(s, d, c); };
  Wb->OnDocumentComplete = [this](TObject* s, win::IDispatch* d, win::VARIANT& u) { WbDocumentComplete(s, d, u); };
}

void TDownLoadFrm::FormCreate(TObject*) {
  pb->SetMax(FFlashList->Items()->Count());
  pb->SetStep(1);
}

void TDownLoadFrm::FormShow(TObject*) { Timer1->SetEnabled(true); }

void TDownLoadFrm::FormCloseQuery(TObject*, bool& CanClose) { CanClose = !Downloading; }

void TDownLoadFrm::StopLoading() {
  if (!Downloading && !PageDone) Wb->ControlInterface()->Stop();
}

void TDownLoadFrm::Button1Click(TObject*) {
  if (Downloading) CancelPressed = true;
  StopLoading();
  Close();
}

void TDownLoadFrm::Dispatch(TMessage& Message) {
  if (Message.Msg == win::WM_CLOSE) StopLoading();
  TForm::Dispatch(Message);
}

void TDownLoadFrm::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  PageUrl = CompletePageUrl(FAddress->Text());
  PageDone = false;
  Label1->SetCaption("Retrieve the web page");
  Wb->NavigateTo(PageUrl);
}

void TDownLoadFrm::WbProgressChange(TObject*, int Progress, int ProgressMax) {
  pb->SetMax(ProgressMax);
  pb->SetPosition(Progress);
}

void TDownLoadFrm::WbNewWindow2(TObject*, win::IDispatch*&, win::VARIANT_BOOL& Cancel) { Cancel = win::VARIANT_TRUE; }

void TDownLoadFrm::WbDocumentComplete(TObject*, win::IDispatch*, win::VARIANT&) {
  if (PageDone || Wb->Busy()) return;
  PageDone = true;
  win::TComPtr<win::IDispatch> document = Wb->Document();
  const int made = WalkDocument(document.Get(), PageUrl, TempFolder,
                                [this](TFlashItem* item) { FFlashList->Items()->AddObject(item->Name, item); });
  if (made > 0) DownloadFlashs();
  Close();
}

void TDownLoadFrm::DownloadFlashs() {
  TStrings* items = FFlashList->Items();
  std::vector<TFlashItem*> list;
  for (int i = 0; i < items->Count(); ++i)
    if (auto* item = dynamic_cast<TFlashItem*>(items->Objects(i))) list.push_back(item);
  pb->SetPosition(0);
  if (items->Count() > 1) pb->SetMax(items->Count() - 1);
  win::TDownloadOptions cancel;
  cancel.Cancelled = [this] { return CancelPressed; };
  DownloadFlashItems(
      list,
      [this](int index, int count) {
        char text[64];
        std::snprintf(text, sizeof text, "Download flashs.. ( %d/%d )", index + 1, count);
        Label1->SetCaption(text);
        Repaint();
        Downloading = true;
      },
      [this](int, const win::TDownloadResult&) {
        Downloading = false;
        pb->StepIt();
      },
      cancel, [this] { return CancelPressed; });
}

}  // namespace vorra
