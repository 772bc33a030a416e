// The profile dialog "下载配置" as a form model: the trading profiles the
// vendor's file server offers (list, search, download and apply), and the
// ones already in settings\ (apply, delete). The Win32 view owns the
// controls and forwards every event to one method here; the file-server
// connection and the association come through ports.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/unt_common.h"
#include "settings/unt_fileclient.h"

namespace settings {

inline constexpr char kFrmsettingCaption[] = "下载配置";
inline constexpr char kConnectFailed[] = "连接文件服务器失败！";
inline constexpr char kChooseDownload[] = "请选择需要下载并应用的配置文件";
inline constexpr char kChooseApply[] = "请选择需要应用的配置文件";
inline constexpr char kChooseDelete[] = "请选择需要删除的配置文件";
inline constexpr char kProfileInUse[] = "该配置文件正在使用，不能删除！";
inline constexpr char kDeleteQuestion[] = "您确定要删除该配置文件吗？";
inline constexpr char kDeleteTitle[] = "确认提示！";
inline constexpr char kBadProfileName[] = "文件服务器给出的配置文件名称无效，未保存：";
inline constexpr char kSaveFailed[] = "配置文件无法保存：";
inline constexpr char kNotOnServer[] = "文件服务器上没有该配置文件：";

// The read-only hint beside the lists, one entry per line.
const std::vector<std::string>& ProfileDialogHint();

// A profile name from outside (the server's list) names one file inside
// settings\: no folder part, no "..", no drive, no device name, no
// character Windows refuses in a file name.
bool IsSafeProfileName(std::string_view utf8Name);

// What the dialog asks of the window around it.
class IFrmsettingHost {
 public:
  virtual ~IFrmsettingHost() = default;
  virtual std::string ApplicationTitle() = 0;
  virtual void ShowInformation(const std::string& text, const std::string& title) = 0;
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // The account server of the last login (held by the session).
  virtual std::string LastLoginServer() = 0;
  virtual bool LoggedIn() = 0;
  // ClearTradingWindow, then AssociateTradingWindow.
  virtual void Reassociate() = 0;
  // The found flag of the last search for the trading window.
  virtual bool TradingWindowFound() = 0;
  // The gauge or the status changed during an operation: show it now.
  virtual void ShowProgressNow() = 0;
};

class Tfrmsetting {
 public:
  Tfrmsetting(IFrmsettingHost& host, TSettings& settings, IFileClient& client);

  // ---- events ----
  void FormShow();
  void BtnGetListClick();     // "获取配置列表[&G]": FetchProfileList
  void BtnApplyClick();       // "应用配置[&S]": DownloadAndApplyProfile
  void BtnSearchClick();      // "查找": SearchProfiles
  void BtnApplyLocalClick();  // "应用本地配置": ApplyLocalProfile
  void BtnListLocalClick();   // "刷新本地配置列表": ListLocalProfiles
  void BtnDeleteLocalClick(); // "删除该本地配置": DeleteLocalProfile
  void Close() { closed_ = true; }  // "关闭[&C]", "关闭" and Esc

  void FetchProfileList();
  void DownloadAndApplyProfile();
  void SearchProfiles();
  void ApplyLocalProfile();
  void ListLocalProfiles();
  void DeleteLocalProfile();

  // ---- control state ----
  std::string Caption() const { return caption_; }
  const std::vector<std::string>& ServerList() const { return serverList_; }
  int serverIndex = -1;
  std::string searchText;
  const std::vector<std::string>& LocalList() const { return localList_; }
  int localIndex = -1;
  const std::string& Status() const { return status_; }
  bool GaugeVisible() const { return gaugeVisible_; }
  int GaugePosition() const { return gauge_; }
  // The search edit is to take the focus (once, after a list came).
  bool TakeSearchFocus() { return std::exchange(searchFocused_, false); }
  // An operation is talking to the file server: the view keeps the
  // buttons off meanwhile.
  bool Busy() const { return busy_; }
  bool Closed() const { return closed_; }
  void ResetClosed() { closed_ = false; }

 private:
  void UpdateCaption();
  void Gauge(int position, bool visible = true);
  void SetStatus(std::string text);
  bool EnsureConnected(const std::string& host);
  std::string SelectedServerEntry() const;
  // WriteProfileName, LoadTradingSettings, and the association when logged in.
  void ActivateProfile(const std::string& name);

  IFrmsettingHost& host_;
  TSettings& settings_;
  IFileClient& client_;
  std::string caption_;
  std::vector<std::string> serverList_;
  std::vector<std::string> localList_;
  std::string status_;
  bool gaugeVisible_ = false;
  int gauge_ = 0;
  bool searchFocused_ = false;
  bool busy_ = false;
  bool closed_ = false;
};

}  // namespace settings
