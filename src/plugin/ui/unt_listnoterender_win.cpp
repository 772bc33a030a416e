#include "plugin/ui/unt_listnoterender_win.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <new>

#include "plugin/addin/unt_hostedge.h"
#include "plugin/res/resource.h"
#include "plugin/ui/unt_listctrlcl_win.h"

namespace ui {
namespace {

std::atomic<int> g_liveViews{0};

void RegisterListClass() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    return InitCommonControlsEx(&classes) != FALSE;
  }();
  (void)registered;
}

// The dialog of template 4001. It lives until Close; when its window goes
// first (its parent destroyed), it only forgets the window.
class CNoteDialogWin final : public INoteView, public addin::IModuleWindow, public ICallDepth {
 public:
  CNoteDialogWin(const CNoteViewFactoryWin::TModule& module, CListNoteRender& renderer)
      : module_(module), renderer_(&renderer) {
    ++g_liveViews;
  }
  ~CNoteDialogWin() override { --g_liveViews; }

  bool Make(HWND parent) {
    const auto instance = reinterpret_cast<HINSTANCE>(module_.resourceHandle ? module_.resourceHandle() : 0);
    CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_FILL_LIST), parent, &CNoteDialogWin::Proc,
                       reinterpret_cast<LPARAM>(this));
    return window_ != nullptr;
  }

  kv::KvHwnd Window() override { return window_; }

  void ShowRows(int rows) override {
    HWND list = list_.Window();
    if (!list) return;
    SendMessageW(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows), 0);
    SendMessageW(list, LVM_REDRAWITEMS, 0, rows);
  }

  void Close() override {
    renderer_ = nullptr;
    closing_ = true;
    Enter();
    HWND window = window_;
    // Nothing of this object is reached while the window goes.
    Detach();
    if (window && IsWindow(window)) DestroyWindow(window);
    Leave();
  }

  // Calls in progress in the dialog or its controls: a Close inside one of
  // them frees the view when the outermost has returned.
  void Enter() override { ++depth_; }
  void Leave() override {
    if (--depth_ == 0 && closing_) delete this;
  }

  // Enter and Esc anywhere in the dialog become its OK and Cancel commands.
  bool PreTranslateMessage(void* message) override {
    const auto* msg = static_cast<const MSG*>(message);
    if (!msg || !window_ || msg->message != WM_KEYDOWN) return false;
    if (msg->hwnd != window_ && !IsChild(window_, msg->hwnd)) return false;
    if (msg->wParam == VK_RETURN) return PostToParent(IDOK), true;
    if (msg->wParam == VK_ESCAPE) return PostToParent(IDCANCEL), true;
    return false;
  }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CNoteDialogWin*>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
      self = reinterpret_cast<CNoteDialogWin*>(lParam);
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      self->window_ = window;
    }
    if (!self) return FALSE;
    self->Enter();
    // A failure leaves the message to the dialog manager.
    const INT_PTR result = addin::HostCall(INT_PTR{FALSE}, [&] { return self->Handle(message, wParam, lParam); });
    if (message == WM_NCDESTROY) addin::HostCall([self] { self->Detach(); });
    self->Leave();  // may free it
    return result;
  }

  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        InitDialog();
        return TRUE;
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
          PostToParent(LOWORD(wParam));
          return TRUE;
        }
        return FALSE;
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->idFrom == IDC_FILL_LIST && header->code == LVN_GETDISPINFOW) {
          GetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
          return TRUE;
        }
        return FALSE;
      }
      case WM_DRAWITEM:
        if (wParam == IDC_FILL_LIST && renderer_) {
          list_.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
          return TRUE;
        }
        return FALSE;
      default:
        return FALSE;
    }
  }

  void InitDialog() {
    HWND list = GetDlgItem(window_, IDC_FILL_LIST);
    if (!list || !renderer_) return;
    SetWindowLongPtrW(list, GWL_EXSTYLE, GetWindowLongPtrW(list, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
    SetWindowPos(list, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    const LPARAM styles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, static_cast<WPARAM>(styles), styles);
    const CListCtrlClModel& model = renderer_->List();
    list_.Attach(list, model, WideFromGbk(renderer_->Text(IDS_LIST_FONT)),
                 WideFromGbk(renderer_->Text(IDS_HEADER_FONT)), this);
    const auto& headings = model.header.Headings();
    for (size_t i = 0; i < headings.size(); ++i)
      list_.InsertColumn(static_cast<int>(i), WideFromGbk(headings[i]), LVCFMT_CENTER, kColumnWidth);
    if (module_.addWindow) module_.addWindow(window_, this);
  }

  // Cell texts: the list is a wide window, so the row buffer's GBK text is
  // handed over converted, into the list's own buffer and within its size.
  void GetDispInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!renderer_ || !(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    if (item.iItem < 0 || item.iItem >= renderer_->RowCount()) return;
    const std::wstring text = WideFromGbk(renderer_->CellText(item.iItem, item.iSubItem));
    const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
    text.copy(item.pszText, n);
    item.pszText[n] = L'\0';
  }

  void PostToParent(UINT id) {
    if (HWND parent = window_ ? GetParent(window_) : nullptr) PostMessageW(parent, WM_COMMAND, id, 0);
  }

  // Lets go of the window and its controls; idempotent.
  void Detach() {
    list_.DetachAll();
    if (!window_) return;
    if (module_.removeWindow) module_.removeWindow(window_);
    if (IsWindow(window_)) SetWindowLongPtrW(window_, DWLP_USER, 0);
    window_ = nullptr;
  }

  const CNoteViewFactoryWin::TModule& module_;
  CListNoteRender* renderer_;
  HWND window_ = nullptr;
  CListCtrlCl list_;
  int depth_ = 0;
  bool closing_ = false;
};

}  // namespace

INoteView* CNoteViewFactoryWin::CreateNoteView(kv::KvHwnd parent, CListNoteRender& renderer) {
  RegisterListClass();
  auto* view = new (std::nothrow) CNoteDialogWin(module_, renderer);
  if (!view) return nullptr;
  if (!view->Make(static_cast<HWND>(parent))) {
    view->Close();
    return nullptr;
  }
  return view;
}

int CNoteViewFactoryWin::LiveViews() { return g_liveViews.load(); }

}  // namespace ui
