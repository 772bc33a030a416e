#include "settings/unt_frmsetting_win.h"

#include <atomic>
#include <climits>
#include <exception>
#include <thread>

#include "base/worker.h"

namespace settings {

// The connection's calls run on a worker; the GUI thread meanwhile handles
// its messages, so the gauge paints and quote messages still arrive. The
// dialog's buttons are off while the model says it is busy, so no second
// exchange can start on the same connection.
class TfrmsettingWin::WorkerClient final : public IFileClient {
 public:
  explicit WorkerClient(IFileClient& inner) : inner_(inner) {}
  bool Connected() override { return inner_.Connected(); }
  bool Connect(const std::string& host, uint16_t port) override {
    bool ok = false;
    Run([&] { ok = inner_.Connect(host, port); });
    return ok;
  }
  std::string Exchange(TFileCommand command, const std::string& name) override {
    std::string reply;
    Run([&] { reply = inner_.Exchange(command, name); });
    return reply;
  }

 private:
  template <class F>
  void Run(F work) {
    std::atomic<bool> done{false};
    std::exception_ptr error;
    std::thread worker = base::StartWorker([&] {
      try {
        work();
      } catch (...) {
        error = std::current_exception();
      }
      done = true;
    });
    win::PumpUntil([&] { return done.load(); }, INT_MAX);
    worker.join();
    if (error) std::rethrow_exception(error);
  }
  IFileClient& inner_;
};

namespace {
std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += (out.empty() ? "" : "\r\n") + l;
  return out;
}

void FillList(win::ListView& list, const std::vector<std::string>& rows, std::vector<std::string>& shown) {
  if (rows == shown) return;
  list.BeginUpdate();
  list.Clear();
  for (const std::string& r : rows) list.AddRow(r);
  list.EndUpdate();
  shown = rows;
}
}  // namespace

TfrmsettingWin::TfrmsettingWin(FrmsettingViewArgs args, TSettings& settings, IFileClient& client)
    : args_(std::move(args)), client_(std::make_unique<WorkerClient>(client)), model_(*this, settings, *client_) {
  dialog_.Create({.title = model_.Caption(), .size = {660, 372}, .owner = args_.owner, .keepOnClose = false});
  serverGroup_.Create(dialog_, {.text = "服务器配置列表", .rect = {10, 6, 260, 316}});
  serverList_.Create(dialog_, {.rect = {20, 26, 240, 196}, .columns = {{"配置文件名称", 216}}});
  search_.Create(dialog_, {.rect = {20, 230, 170, 23}});
  searchButton_.Create(dialog_, {.text = "查找", .rect = {196, 229, 64, 25}});
  getList_.Create(dialog_, {.text = "获取配置列表[&G]", .rect = {20, 264, 116, 27}});
  apply_.Create(dialog_, {.text = "应用配置[&S]", .rect = {144, 264, 116, 27}});

  localGroup_.Create(dialog_, {.text = "本地配置列表", .rect = {280, 6, 210, 316}});
  localList_.Create(dialog_, {.rect = {290, 26, 190, 196}, .columns = {{"配置文件名称", 166}}});
  applyLocal_.Create(dialog_, {.text = "应用本地配置", .rect = {290, 229, 190, 25}});
  listLocal_.Create(dialog_, {.text = "刷新本地配置列表", .rect = {290, 259, 190, 25}});
  deleteLocal_.Create(dialog_, {.text = "删除该本地配置", .rect = {290, 289, 190, 25}});

  hint_.Create(dialog_, {.text = Lines(ProfileDialogHint()), .rect = {500, 12, 150, 160},
                         .background = RGB(255, 255, 255), .sunken = true});
  closeSmall_.Create(dialog_, {.text = "关闭", .rect = {500, 182, 150, 25}});
  gauge_.Create(dialog_, {.rect = {10, 330, 300, 14}});
  status_.Create(dialog_, {.text = "", .rect = {10, 348, 480, 18}, .color = RGB(192, 0, 0)});
  close_.Create(dialog_, {.text = "关闭[&C]", .rect = {560, 334, 90, 28}, .id = IDCANCEL});

  getList_.onClick = [this] { Do([&] { model_.BtnGetListClick(); }); };
  apply_.onClick = [this] { Do([&] { model_.BtnApplyClick(); }); };
  searchButton_.onClick = [this] { Do([&] { model_.BtnSearchClick(); }); };
  search_.onEnter = searchButton_.onClick;
  applyLocal_.onClick = [this] { Do([&] { model_.BtnApplyLocalClick(); }); };
  listLocal_.onClick = [this] { Do([&] { model_.BtnListLocalClick(); }); };
  deleteLocal_.onClick = [this] { Do([&] { model_.BtnDeleteLocalClick(); }); };
  close_.onClick = [this] { Do([&] { model_.Close(); }); };
  closeSmall_.onClick = close_.onClick;
  dialog_.onEscape = close_.onClick;
  const auto escape = [this](UINT key) {
    if (key != VK_ESCAPE) return false;
    Do([&] { model_.Close(); });
    return true;
  };
  serverList_.onKeyDown = escape;
  search_.onKeyDown = escape;
  serverList_.onSelectionChanged = [this](int) { Take(); };
  localList_.onSelectionChanged = [this](int) { Take(); };
  gauge_.Show(false);
}

TfrmsettingWin::~TfrmsettingWin() = default;

void TfrmsettingWin::ShowModal() {
  model_.FormShow();
  shownServer_.assign(1, "");  // forces the first fill
  shownLocal_.assign(1, "");
  dialog_.onShow = [this] { Sync(); };
  Sync();
  dialog_.ShowModal();
}

template <class F>
void TfrmsettingWin::Do(F&& event) {
  if (model_.Busy()) return;  // an exchange is still running
  Take();
  // Whatever the event leaves behind is shown, also when it failed (the
  // error itself goes on to the program's error report).
  struct Finally {
    TfrmsettingWin* view;
    ~Finally() {
      view->Sync();
      if (view->model_.Closed()) view->dialog_.EndModal(IDCANCEL);
    }
  } finally{this};
  event();
}

void TfrmsettingWin::Take() {
  model_.serverIndex = serverList_.SelectedRow();
  model_.localIndex = localList_.SelectedRow();
  model_.searchText = search_.Text();
}

void TfrmsettingWin::Sync() {
  dialog_.SetTitle(model_.Caption());
  FillList(serverList_, model_.ServerList(), shownServer_);
  if (serverList_.SelectedRow() != model_.serverIndex) {
    serverList_.Select(model_.serverIndex);
    if (model_.serverIndex >= 0) serverList_.EnsureVisible(model_.serverIndex);
  }
  FillList(localList_, model_.LocalList(), shownLocal_);
  if (localList_.SelectedRow() != model_.localIndex) localList_.Select(model_.localIndex);
  status_.SetText(model_.Status());
  gauge_.Show(model_.GaugeVisible());
  gauge_.SetPosition(model_.GaugePosition());
  const bool idle = !model_.Busy();
  for (win::Button* b : {&getList_, &apply_, &searchButton_, &applyLocal_, &listLocal_, &deleteLocal_})
    b->Enable(idle);
  if (idle && model_.TakeSearchFocus()) search_.Focus();
}

void TfrmsettingWin::ShowInformation(const std::string& text, const std::string& title) {
  win::ShowInfo(dialog_.Handle(), text, title);
}

bool TfrmsettingWin::AskYesNo(const std::string& text, const std::string& title) {
  return win::AskYesNo(dialog_.Handle(), text, title);
}

}  // namespace settings
