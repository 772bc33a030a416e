// The profile dialog against the stand-in file server: the lists, the
// search that stays local, the download and apply, over one connection.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <fstream>
#include <thread>

#include "sim_server.h"
#include "test_frmsetting_support.h"

namespace {

using namespace frmsetting_test;
using settings_test::FileBytes;
using settings_test::FileText;

std::vector<nlohmann::json> Events(const std::string& recordPath, const std::string& event) {
  std::vector<nlohmann::json> out;
  std::ifstream in(recordPath);
  for (std::string line; std::getline(in, line);) {
    auto j = nlohmann::json::parse(line);
    if (j["event"] == event) out.push_back(j);
  }
  return out;
}

class FileServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(served_.path() / "p");
    WriteProfile(served_.path() / "p", "华泰证券.ini", "华泰交易");
    WriteProfile(served_.path() / "p", "国信证券.ini", "国信交易");
    WriteProfile(served_.path() / "p", "simtrader.ini", "网上股票交易系统");
    options_.host = "127.0.44.9";
    options_.profilesDir = base::PathToUtf8(served_.path() / "p");
    services_.push_back(simserver::StartFileService(io_, options_, recorder_, hooks_));
    runner_ = std::thread([this] { io_.run(); });
  }
  void TearDown() override {
    io_.stop();
    runner_.join();
  }

  TempDir served_;
  simserver::ServerOptions options_;
  simserver::Recorder recorder_{served_.File("record.jsonl")};
  simserver::ControlHooks hooks_;
  asio::io_context io_;
  std::vector<simserver::ServicePtr> services_;
  std::thread runner_;
};

}  // namespace

TEST_F(FileServerTest, ListSearchDownloadAndApplyOverOneConnection) {
  AppFolder app;
  app.settings.options.SetServerAddress(options_.host);
  RecordingHost host;
  host.loginServer = options_.host;
  const auto client = CreateFileClient(3000, 3000);
  Tfrmsetting dialog(host, app.settings, *client);
  host.model = &dialog;
  dialog.FormShow();
  EXPECT_EQ(dialog.Caption(), "下载配置 (当前配置: old.ini)");

  dialog.BtnGetListClick();
  EXPECT_EQ(dialog.ServerList(), (std::vector<std::string>{"simtrader.ini", "华泰证券.ini", "国信证券.ini"}));
  EXPECT_EQ(host.steps, (std::vector<std::string>{"0", "50", "100", "hidden"}));
  EXPECT_TRUE(dialog.TakeSearchFocus());
  EXPECT_FALSE(dialog.TakeSearchFocus()) << "once";

  // Found in the list: selected, nothing asked of the server.
  dialog.searchText = "  国信 ";
  dialog.BtnSearchClick();
  EXPECT_EQ(dialog.serverIndex, 2);
  EXPECT_EQ(Events(served_.File("record.jsonl"), "file-request").size(), 1u);
  // Not in the list: the server's search replaces it, twice.
  dialog.searchText = "xyz";
  dialog.BtnSearchClick();
  EXPECT_TRUE(dialog.ServerList().empty());
  dialog.searchText = "证券";
  dialog.BtnSearchClick();
  EXPECT_EQ(dialog.ServerList(), (std::vector<std::string>{"华泰证券.ini", "国信证券.ini"}));
  EXPECT_EQ(dialog.serverIndex, -1);

  // Download while logged in: saved, active, loaded, associated again; the
  // dialog closes once the trading window was found.
  host.loggedIn = true;
  host.found = true;
  host.steps.clear();
  dialog.serverIndex = 0;
  dialog.BtnApplyClick();
  EXPECT_EQ(FileBytes(app.settings.SettingsFolder() + "华泰证券.ini"),
            FileBytes(base::PathToUtf8(served_.path() / "p" / base::PathFromUtf8("华泰证券.ini"))));
  EXPECT_NE(FileText(app.settings.ConfigPath()).find("行情交易配置文件名称=华泰证券.ini"), std::string::npos);
  EXPECT_EQ(app.settings.profile.windowTitle, "华泰交易");
  ASSERT_EQ(app.settings.profile.buySteps.size(), 1u);
  EXPECT_EQ(host.reassociations, 1);
  EXPECT_EQ(dialog.Caption(), "下载配置 (当前配置: 华泰证券.ini)");
  EXPECT_TRUE(dialog.Closed());
  EXPECT_EQ(host.steps, (std::vector<std::string>{"0", "50", "100", "hidden"}));

  const auto requests = Events(served_.File("record.jsonl"), "file-request");
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1]["command"], 3010);
  EXPECT_EQ(requests[1]["name"], "xyz");
  EXPECT_EQ(requests[2]["command"], 3010);
  EXPECT_EQ(requests[2]["name"], "证券");
  EXPECT_EQ(requests[3]["command"], 3009);
  EXPECT_EQ(requests[3]["name"], "华泰证券.ini");
  EXPECT_EQ(Events(served_.File("record.jsonl"), "file-connection").size(), 1u) << "one connection, reused";
}

