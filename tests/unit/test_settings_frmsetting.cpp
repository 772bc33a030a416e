// The profile dialog "下载配置" and its file-server connection: the requests
// on the wire, servers that misbehave, the download that replaces the
// profile whole, the names from the server that must stay inside
// settings\, and the local profiles.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <filesystem>
#include <fstream>
#include <thread>

#include "test_frmsetting_support.h"

using namespace frmsetting_test;
using settings_test::FileBytes;

TEST(FileServerWire, RequestAndReplyLayouts) {
  const std::string r = MakeFileRequest(TFileCommand::Download, "华泰证券.ini");
  ASSERT_EQ(r.size(), 88u);
  EXPECT_EQ(std::string(r.data(), 4), std::string("\xC1\x0B\x00\x00", 4)) << "3009 little-endian";
  const std::string gbk = settings_test::Gbk("华泰证券.ini");
  EXPECT_EQ(r.substr(4, gbk.size()), gbk);
  EXPECT_EQ(r.substr(4 + gbk.size()), std::string(84 - gbk.size(), '\0'));
  // At most 83 bytes of the name, never half a character.
  const std::string longName = MakeFileRequest(TFileCommand::Search, std::string(81, 'a') + "券券");
  EXPECT_EQ(longName.substr(4, 84), std::string(81, 'a') + settings_test::Gbk("券") + std::string(1, '\0'));
  EXPECT_EQ(MakeFileRequest(TFileCommand::List, "").substr(0, 4), std::string("\xC0\x0B\x00\x00", 4));

  const unsigned char head[4] = {0x00, 0x01, 0x02, 0x03};
  EXPECT_EQ(ReplyByteCount(head), 0x010203u) << "big-endian";
  EXPECT_EQ(SplitReplyLines(settings_test::Gbk("a.ini\r\n华泰.ini\r\n\r\nlast.ini")),
            (std::vector<std::string>{"a.ini", "华泰.ini", "last.ini"}));
}

namespace {

// A server that answers the first request of one connection with `reply`
// and closes.
class ScriptedServer {
 public:
  ScriptedServer(const std::string& host, std::string reply) : acceptor_(io_) {
    const asio::ip::tcp::endpoint at(asio::ip::make_address(host), kFileServerPort);
    acceptor_.open(at.protocol());
    acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    acceptor_.bind(at);
    acceptor_.listen();
    thread_ = std::thread([this, reply = std::move(reply)] {
      asio::ip::tcp::socket s(io_);
      asio::error_code ec;
      acceptor_.accept(s, ec);
      char request[88];
      asio::read(s, asio::buffer(request), ec);
      if (!ec) asio::write(s, asio::buffer(reply), ec);
      s.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
      s.close(ec);
    });
  }
  ~ScriptedServer() { thread_.join(); }

 private:
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  std::thread thread_;
};

std::string Counted(uint32_t count, const std::string& bytes) {
  std::string head(4, '\0');
  base::StoreBE32(head.data(), count);
  return head + bytes;
}

}  // namespace

TEST(FileServerFaults, DroppedOrOversizedRepliesLeaveTheProfileIntact) {
  AppFolder app;
  RecordingHost host;
  host.loginServer = "127.0.44.10";
  const auto client = CreateFileClient(3000, 3000);
  Tfrmsetting dialog(host, app.settings, *client);
  dialog.FormShow();
  const std::string before = FileBytes(app.settings.SettingsFolder() + "old.ini");
  // A search the list cannot answer does not connect: it fails.
  dialog.searchText = "x";
  EXPECT_THROW(dialog.BtnSearchClick(), EFileServerError);
  {
    // The list, to have something to download.
    ScriptedServer server(host.loginServer, Counted(9, "old.ini\r\n"));
    app.settings.options.SetServerAddress(host.loginServer);
    dialog.BtnGetListClick();
  }
  ASSERT_EQ(dialog.ServerList(), std::vector<std::string>{"old.ini"});
  dialog.serverIndex = 0;
  {
    // The connection drops after 10 of 400 bytes.
    ScriptedServer server(host.loginServer, Counted(400, "[交易系统]"));
    EXPECT_THROW(dialog.BtnApplyClick(), EFileServerError);
  }
  EXPECT_EQ(FileBytes(app.settings.SettingsFolder() + "old.ini"), before);
  EXPECT_EQ(dialog.ServerList(), std::vector<std::string>{"old.ini"}) << "the list keeps its content";
  EXPECT_FALSE(dialog.Busy());
  EXPECT_FALSE(client->Connected());
  {
    // A count above 4 MiB is refused before anything is read.
    ScriptedServer server(host.loginServer, Counted(kMaxFileReplyBytes + 1, "x"));
    EXPECT_THROW(dialog.BtnApplyClick(), EFileServerError);
  }
  EXPECT_EQ(FileBytes(app.settings.SettingsFolder() + "old.ini"), before);
  {
    // An empty reply: the server has no such file.
    ScriptedServer server(host.loginServer, Counted(0, ""));
    dialog.BtnApplyClick();
  }
  EXPECT_EQ(dialog.Status(), std::string(kNotOnServer) + "old.ini");
  EXPECT_EQ(FileBytes(app.settings.SettingsFolder() + "old.ini"), before);
  EXPECT_EQ(host.reassociations, 0);

  // No server at all: the status says so and the gauge stays.
  dialog.BtnApplyClick();
  EXPECT_EQ(dialog.Status(), kConnectFailed);
  EXPECT_TRUE(dialog.GaugeVisible());
}

namespace {

// A connected file client that hands out a fixed list and counts downloads.
class ListOnlyClient final : public IFileClient {
 public:
  explicit ListOnlyClient(std::string list) : list_(std::move(list)) {}
  bool Connected() override { return true; }
  bool Connect(const std::string&, uint16_t) override { return true; }
  std::string Exchange(TFileCommand command, const std::string&) override {
    if (command != TFileCommand::List) ++downloads;
    return command == TFileCommand::List ? list_ : "[交易系统]\r\n窗口标题=恶意\r\n";
  }
  int downloads = 0;

 private:
  std::string list_;
};

}  // namespace

TEST(FileServerFaults, NamesThatLeaveTheSettingsFolderAreRefused) {
  for (const char* bad : {"..\\config.ini", "../config.ini", "sub\\a.ini", "C:a.ini", "..", "NUL.ini", "con",
                          "COM1.ini", "lpt9", "CON .ini", "COM1 .ini", "nul  .txt", "a.ini.", " a.ini", "a?.ini", "a|b.ini"}) {
    EXPECT_FALSE(IsSafeProfileName(bad)) << bad;
  }
  for (const char* good : {"simtrader_keystroke.ini", "华泰证券.ini", "console.ini", "com10.ini", "a.b.ini"}) {
    EXPECT_TRUE(IsSafeProfileName(good)) << good;
  }

  AppFolder app;
  RecordingHost host;
  ListOnlyClient client(settings_test::Gbk("..\\config.ini\r\n..\\..\\evil.ini\r\nC:\\Windows\\win.ini\r\nAUX.ini\r\n"));
  Tfrmsetting dialog(host, app.settings, client);
  dialog.FormShow();
  dialog.BtnGetListClick();
  ASSERT_EQ(dialog.ServerList().size(), 4u);
  const std::string config = FileBytes(app.settings.ConfigPath());
  for (int i = 0; i < 4; ++i) {
    dialog.serverIndex = i;
    dialog.BtnApplyClick();
    EXPECT_EQ(dialog.Status(), kBadProfileName + dialog.ServerList()[i]);
  }
  EXPECT_EQ(client.downloads, 0);
  EXPECT_EQ(FileBytes(app.settings.ConfigPath()), config);
  EXPECT_FALSE(fs::exists(app.dir.path().parent_path() / "evil.ini"));
  EXPECT_EQ(app.settings.profile.profileName, "old.ini");
}

TEST(ProfileDialog, LocalProfilesApplyAndDelete) {
  AppFolder app;
  WriteGbk(app.settings.SettingsFolder() + "second.INI", "[交易系统]\r\n窗口标题=第二\r\n");
  WriteGbk(app.settings.SettingsFolder() + "notes.txt", "x");
  RecordingHost host;
  ListOnlyClient client("");
  Tfrmsetting dialog(host, app.settings, client);
  dialog.FormShow();

  dialog.BtnApplyLocalClick();
  EXPECT_EQ(dialog.Status(), kChooseApply);
  dialog.BtnDeleteLocalClick();
  EXPECT_EQ(dialog.Status(), kChooseDelete);
  dialog.BtnApplyClick();
  EXPECT_EQ(dialog.Status(), kChooseDownload);

  dialog.BtnListLocalClick();
  std::vector<std::string> local = dialog.LocalList();
  std::sort(local.begin(), local.end());
  ASSERT_EQ(local, (std::vector<std::string>{"old.ini", "second.INI"}));
  const int old = dialog.LocalList()[0] == "old.ini" ? 0 : 1;

  // The active profile cannot go.
  dialog.localIndex = old;
  dialog.BtnDeleteLocalClick();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"Tarvolen-Merrowick: 该配置文件正在使用，不能删除！"});
  EXPECT_TRUE(fs::exists(base::PathFromUtf8(app.settings.SettingsFolder() + "old.ini")));

  // Named in config.ini in other letters, it is still the file in use.
  app.settings.profile.profileName = "OLD.ini";
  dialog.BtnDeleteLocalClick();
  EXPECT_EQ(host.boxes.size(), 2u);
  EXPECT_TRUE(fs::exists(base::PathFromUtf8(app.settings.SettingsFolder() + "old.ini")));

  // Applied while logged out: active, but no search for the trading window.
  dialog.localIndex = 1 - old;
  dialog.BtnApplyLocalClick();
  EXPECT_EQ(app.settings.profile.profileName, "second.INI");
  EXPECT_EQ(app.settings.profile.windowTitle, "第二");
  EXPECT_EQ(host.reassociations, 0);
  EXPECT_EQ(dialog.Caption(), "下载配置 (当前配置: second.INI)");
  EXPECT_FALSE(dialog.Closed()) << "stays open";

  // The old one may go now, after the question; "No" keeps it.
  dialog.localIndex = old;
  host.answer = false;
  dialog.BtnDeleteLocalClick();
  EXPECT_TRUE(fs::exists(base::PathFromUtf8(app.settings.SettingsFolder() + "old.ini")));
  host.answer = true;
  dialog.BtnDeleteLocalClick();
  EXPECT_FALSE(fs::exists(base::PathFromUtf8(app.settings.SettingsFolder() + "old.ini")));
  EXPECT_EQ(dialog.LocalList(), std::vector<std::string>{"second.INI"});
  EXPECT_EQ(host.boxes.back(), "确认提示！? 您确定要删除该配置文件吗？");
}
