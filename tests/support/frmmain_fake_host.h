// A host of the main window's model that records every call as one line;
// questions answer from a queue. Shared by the main window's and the
// session's tests.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "app/unt_frmmain.h"

namespace testing_support {

class FakeMessages : public app::IMessageSender {
 public:
  bool connected = false;
  std::vector<std::string> sent;
  // When set, everything goes to the real sender instead.
  app::IMessageSender* forward = nullptr;
  std::function<void()> onSend;  // runs inside SendText (while an order is in progress)
  bool Connected() override { return forward ? forward->Connected() : connected; }
  void SendText(const std::string& userId, const std::string& text) override {
    if (forward) return forward->SendText(userId, text);
    sent.push_back(userId + ":" + text);
    if (onSend) onSend();
  }
};

// Records every call as one line; questions answer from a queue.
class FakeHost : public app::IFrmmainHost {
 public:
  std::vector<std::string> calls;
  std::vector<bool> answers;  // AskYesNo, in order; No when empty
  bool noticeShowAgain = true;
  bool visible = true;
  bool tipVisible = false;
  bool deleteFails = false;
  FakeMessages messages;

  bool Has(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }
  size_t Count(const std::string& prefix) const {
    return std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
  }

  void ShowInformation(const std::string& text, const std::string& title) override {
    calls.push_back("info " + title + ": " + text);
  }
  bool AskYesNo(const std::string& text, const std::string& title) override {
    calls.push_back("ask " + title + ": " + text);
    if (answers.empty()) return false;
    const bool a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  bool ShowNoticeWithCheck(const std::string& text, const std::string& title, bool) override {
    calls.push_back("notice " + title + ": " + text.substr(0, text.find('\r')));
    return noticeShowAgain;
  }
  void SetCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
  void SetAlphaBlend(int alpha) override { calls.push_back("alpha " + std::to_string(alpha)); }
  void EnableMainWindow(bool enable) override { calls.push_back(enable ? "enable" : "disable"); }
  bool MainWindowVisible() override { return visible; }
  void RestoreMainWindow() override { calls.push_back("restore"); }
  void CloseMainWindow() override { calls.push_back("close"); }
  trading::ScreenSize MainWindowSize() override { return {800, 600}; }
  void MoveMainWindow(int, int) override {}
  void ShowTrayBalloon(const std::string& title, const std::string& text) override {
    calls.push_back("balloon " + title + ": " + text);
  }
  void ShowTrayWarning(const std::string& title, const std::string& text) override {
    calls.push_back("warning " + title + ": " + text);
  }
  void AnimateTrayIcon(bool animate) override { calls.push_back(animate ? "animate" : "still"); }
  void ShowProgress(const std::string&) override {}
  void StepProgress() override {}
  void CloseProgress() override {}
  void OpenDialog(app::Dialog d) override { calls.push_back("dialog " + std::to_string(static_cast<int>(d))); }
  void OpenEditor(uint8_t kind, app::EditorMode mode, const policy::TPolicyRecord* m) override {
    calls.push_back("editor " + std::to_string(kind) + (mode == app::EditorMode::Add ? " add" : " modify") +
                    (m ? " " + std::to_string(m->id) : ""));
  }
  void ShowQuoteTip(const policy::TPolicyRecord& m, int x, int y) override {
    tipVisible = true;
    calls.push_back("tip " + std::to_string(m.id) + " at " + std::to_string(x) + "," + std::to_string(y));
  }
  bool QuoteTipVisible() override { return tipVisible; }
  void HideQuoteTip() override {
    tipVisible = false;
    calls.push_back("hide tip");
  }
  void NavigateNotice(const std::string& address) override { calls.push_back("navigate " + address); }
  void StartProgram(const std::string& path) override { calls.push_back("start " + path); }
  bool RemoveFile(const std::string& path) override {
    calls.push_back("delete " + std::filesystem::path(path).filename().string());
    if (deleteFails) {
      deleteFails = false;
      return false;
    }
    std::error_code ec;
    return std::filesystem::remove(path, ec);
  }
  void Sleep(int ms) override { calls.push_back("sleep " + std::to_string(ms)); }
  void SetScreenSaverActive(bool active) override { calls.push_back(active ? "screensaver on" : "screensaver off"); }
  void OpenInBrowser(const std::string& address) override { calls.push_back("browse " + address); }
  void StartCalculator() override { calls.push_back("calculator"); }
  bool LaunchOrderProgram() override {
    calls.push_back("launch");
    return false;
  }
  void BindLibraries() override { calls.push_back("bind"); }
  void AccountInit() override { calls.push_back("account init"); }
  void AccountFInit() override { calls.push_back("account finit"); }
  void EngineQuit() override { calls.push_back("engine quit"); }
  void UnbindLibraries() override { calls.push_back("unbind"); }
  void Login() override { calls.push_back("login"); }
  void Logout() override { calls.push_back("logout"); }
  bool DisconnectMessageConnection() override {
    calls.push_back("disconnect");
    if (onDisconnect) onDisconnect();
    return workersEnd;
  }
  std::function<void()> onDisconnect;
  bool workersEnd = true;  // false: a worker was still in a network call
  void RefreshUserInfo() override { calls.push_back("refresh user info"); }
  void LoadShareFeed() override { calls.push_back("share feed"); }
  void ClearShareFeed() override { calls.push_back("clear share feed"); }
  void StartVersionCheck(bool quiet) override { calls.push_back(quiet ? "version check quiet" : "version check"); }
  bool StartUpgrade(const app::VersionInfo& v) override {
    calls.push_back("upgrade " + v.version);
    return upgradeCloses;
  }
  bool upgradeCloses = true;  // the installer came and passed its check
  app::IMessageSender& Messages() override { return messages; }
  // The engine's single-quote answers by code; none leaves the report as it was.
  std::map<std::string, quotes::TQuoteReport> singleQuotes;
  void RequestQuote(const std::string& code, quotes::TQuoteReport& out) override {
    const auto it = singleQuotes.find(code);
    if (it != singleQuotes.end()) out = it->second;
  }
  void PlaySound(const std::string& path, bool) override { calls.push_back("sound " + path); }
};

}  // namespace testing_support
