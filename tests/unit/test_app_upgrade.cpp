// The upgrade: SHA-256 against published vectors, the download that only
// becomes the installer when its digest is the published one, what the site
// must publish for a download to start, the download window and the command
// lines handed to msiexec.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/unt_upgrade.h"
#include "base/files.h"
#include "base/sha256.h"
#include "support/temp_dir.h"

namespace {

std::string DigestInPieces(std::string_view bytes, size_t piece) {
  base::Sha256 h;
  for (size_t at = 0; at < bytes.size(); at += piece) h.Update(bytes.substr(at, piece));
  return base::Sha256::Hex(h.Finish());
}

TEST(Sha256, PublishedVectorsWholeAndInPiecesOfAnySize) {
  EXPECT_EQ(base::Sha256::HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(base::Sha256::HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // 448 bits: padding spills over
  EXPECT_EQ(base::Sha256::HexOf(two), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string million(1000000, 'a');
  for (const size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{4096}, million.size()})
    EXPECT_EQ(DigestInPieces(million, piece), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0")
        << piece;
  base::Sha256 h;  // Finish starts over
  h.Update("x");
  h.Finish();
  h.Update("abc");
  EXPECT_EQ(base::Sha256::Hex(h.Finish()), base::Sha256::HexOf("abc"));
}

TEST(UpgradeDownload, OnlyAFileWithThePublishedDigestBecomesTheInstaller) {
  testing_support::TempDir dir;
  const std::string body(300000, 'q');
  const std::string path = dir.File("Tarvolen-Merrowick-1.7.7.msi");
  std::string upper = base::Sha256::HexOf(body);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  // Tampered on the way: one byte differs. Nothing is left, and an
  // installer already there from before is not touched.
  ASSERT_TRUE(base::AtomicReplace(path, "older"));
  {
    app::TUpgradeDownload d(path, upper, body.size());
    ASSERT_TRUE(d.Open(nullptr));
    std::string bad = body;
    bad[123456] ^= 1;
    ASSERT_TRUE(d.Write(std::string_view(bad).substr(0, 100000), nullptr));
    ASSERT_TRUE(d.Write(std::string_view(bad).substr(100000), nullptr));
    EXPECT_TRUE(base::FileExists(d.PartPath()));
    std::string error;
    EXPECT_FALSE(d.Finish(&error));
    EXPECT_EQ(error, app::kUpgradeTampered);
    EXPECT_FALSE(base::FileExists(d.PartPath()));
  }
  EXPECT_EQ(base::ReadFileBytes(path), "older");

  // The connection ends early: told as a network failure, not as tampering.
  {
    app::TUpgradeDownload d(path, upper, body.size());
    ASSERT_TRUE(d.Open(nullptr));
    ASSERT_TRUE(d.Write(std::string_view(body).substr(0, body.size() - 1000), nullptr));
    std::string error;
    EXPECT_FALSE(d.Finish(&error));
    EXPECT_EQ(error, "网络连接中断，只下载了 292.0 KB / 293.0 KB，请稍后再试。");
    EXPECT_FALSE(base::FileExists(d.PartPath()));
  }
  // More than the signed size: stopped at the first byte too many.
  {
    app::TUpgradeDownload d(path, upper, body.size());
    ASSERT_TRUE(d.Open(nullptr));
    ASSERT_TRUE(d.Write(body, nullptr));
    std::string error;
    EXPECT_FALSE(d.Write("x", &error));
    EXPECT_EQ(error, app::kUpgradeTooLarge);
    EXPECT_FALSE(base::FileExists(d.PartPath()));
  }
  EXPECT_EQ(base::ReadFileBytes(path), "older");

  // Broken off (cancel, lost connection): the partial file goes with it.
  {
    app::TUpgradeDownload d(path, upper, body.size());
    ASSERT_TRUE(d.Open(nullptr));
    ASSERT_TRUE(d.Write(std::string_view(body).substr(0, 5000), nullptr));
  }
  EXPECT_FALSE(base::FileExists(path + ".part"));

  // Whole and right (the digest's case does not matter).
  app::TUpgradeDownload d(path, upper, body.size());
  ASSERT_TRUE(d.Open(nullptr));
  for (size_t at = 0; at < body.size(); at += 8192) ASSERT_TRUE(d.Write(std::string_view(body).substr(at, 8192), nullptr));
  EXPECT_EQ(d.Received(), body.size());
  EXPECT_TRUE(d.Finish(nullptr));
  EXPECT_EQ(base::ReadFileBytes(path), body);
  EXPECT_FALSE(base::FileExists(d.PartPath()));

  // A folder that cannot be written: refused at once.
  app::TUpgradeDownload nowhere(dir.File("missing/x.msi"), upper, body.size());
  std::string error;
  EXPECT_FALSE(nowhere.Open(&error));
  EXPECT_NE(error.find("x.msi.part"), std::string::npos);
}

TEST(UpgradeDownload, WhatTheSiteMustPublishAndWhereItGoes) {
  const app::VendorSite site{"http://127.0.0.1:8000"};
  const std::string sha(64, 'a');
  const auto problem = [&](const std::string& installer, const std::string& digest) {
    return app::UpgradeProblem(site, app::VersionInfo{"1.7.7", "", installer, digest, 15});
  };
  EXPECT_EQ(problem("/files/setup.msi", sha), "");
  EXPECT_EQ(*app::InstallerAddress(site, {"1.7.7", "", "/files/setup.msi", sha}), "http://127.0.0.1:8000/files/setup.msi");
  EXPECT_EQ(*app::InstallerAddress(site, {"1.7.7", "", "https://cdn.example/s.msi", sha}), "https://cdn.example/s.msi");
  for (const char* refused : {"", "setup.msi", "//evil/s.msi", "file:///C:/s.msi", "C:\\s.msi", "http://a/b c.msi",
                              "http://a/\"x.msi", "http://"})
    EXPECT_NE(problem(refused, sha), "") << refused;
  EXPECT_EQ(problem("/s.msi", ""), "新版本没有给出校验值，无法确认下载的文件。");
  // Plain http only on this machine; no size, or too big a one, is no download.
  EXPECT_NE(problem("http://cdn.example/s.msi", sha), "");
  EXPECT_NE(app::UpgradeProblem({"http://www.quorvel.com"}, {"1.7.7", "", "/s.msi", sha, 15}), "");
  EXPECT_EQ(app::UpgradeProblem({"https://www.quorvel.com"}, {"1.7.7", "", "/s.msi", sha, 15}), "");
  EXPECT_NE(app::UpgradeProblem(site, {"1.7.7", "", "/s.msi", sha, 0}), "");
  EXPECT_NE(app::UpgradeProblem(site, {"1.7.7", "", "/s.msi", sha, app::kMaxPackageBytes + 1}), "");
  EXPECT_NE(problem("/s.msi", sha.substr(1) + "g"), "");
  // Only the version's digits and dots reach the file name.
  EXPECT_EQ(app::InstallerFileName({"1.7.7", "", "", ""}), "Tarvolen-Merrowick-1.7.7.msi");
  EXPECT_EQ(app::InstallerFileName({"..\\..\\1.8\" x", "", "", ""}), "Tarvolen-Merrowick-....1.8.msi");
}

TEST(UpgradeWindow, ShowsTheAmountAndEndsWithWhatHappened) {
  app::Tfrmupgrade f({"1.7.7", "", "/s.msi", ""});
  EXPECT_EQ(f.Heading(), "正在下载 Tarvolen-Merrowick 1.7.7 ……");
  f.DownloadProgress(512, 0);
  EXPECT_EQ(f.AmountText(), "已下载 512 B");
  f.DownloadProgress(3 * 1024 * 1024 / 2, 3 * 1024 * 1024);
  EXPECT_EQ(f.Position(), 50);
  EXPECT_EQ(f.AmountText(), "已下载 1.50 MB / 3.00 MB");
  EXPECT_TRUE(f.CancelEnabled());
  EXPECT_EQ(f.DownloadDone(false, app::kUpgradeTampered),
            std::string("下载新版本失败：") + app::kUpgradeTampered + "\r\n程序没有任何改动。");
  EXPECT_FALSE(f.CancelEnabled());

  app::Tfrmupgrade cancelled({"1.7.7", "", "", ""});
  cancelled.BtnCancelClick();
  EXPECT_EQ(cancelled.AmountText(), "正在取消……");
  EXPECT_EQ(cancelled.DownloadDone(false, "操作已取消"), "");

  app::Tfrmupgrade done({"1.7.7", "", "", ""});
  EXPECT_NE(done.DownloadDone(true, "").find("已下载并通过校验"), std::string::npos);
  EXPECT_EQ(done.Position(), app::Tfrmupgrade::kBarParts);
}

TEST(UpgradeCommands, MsiexecArguments) {
  EXPECT_EQ(app::InstallerArguments("C:\\Temp\\Tarvolen-Merrowick-1.7.7.msi", "C:\\Users\\u\\AppData\\Local\\Programs\\Tarvolen-Merrowick\\"),
            "/i \"C:\\Temp\\Tarvolen-Merrowick-1.7.7.msi\" /passive INSTALLDIR=\"C:\\Users\\u\\AppData\\Local\\Programs\\Tarvolen-Merrowick\"");
  EXPECT_EQ(*app::UninstallArguments("{8A236114-6A41-44E7-A010-AF0E1EE4310E}", true),
            "/x {8A236114-6A41-44E7-A010-AF0E1EE4310E} KEEPDATA=1");
  EXPECT_EQ(*app::UninstallArguments("{8a236114-6a41-44e7-a010-af0e1ee4310e}", false),
            "/x {8a236114-6a41-44e7-a010-af0e1ee4310e} KEEPDATA=0");
  for (const char* bad : {"", "8A236114-6A41-44E7-A010-AF0E1EE4310E", "{8A236114-6A41-44E7-A010-AF0E1EE4310}",
                          "{8A236114-6A41-44E7-A010-AF0E1EE4310G}", "{8A236114-6A41-44E7-A010 AF0E1EE4310E}",
                          "{8A236114-6A41-44E7-A010-AF0E1EE4310E} /qn REBOOT=force"})
    EXPECT_FALSE(app::UninstallArguments(bad, true)) << bad;
}

}  // namespace
