#include <gtest/gtest.h>

#include "settings/autostart.h"

using namespace settings;

namespace {

// The Run key as the settings dialog sees it.
class FakeAutostart : public IAutostartStore {
 public:
  std::optional<std::string> value;
  std::optional<std::string> Read() override { return value; }
  bool Apply(bool, std::string_view) override { return false; }
};

}  // namespace

TEST(Autostart, IsOnOnlyForAReadableNonEmptyValue) {
  FakeAutostart store;
  EXPECT_FALSE(AutostartIsOn(store));
  store.value = "";
  EXPECT_FALSE(AutostartIsOn(store));
  store.value = "D:\\elsewhere\\other.exe";
  EXPECT_TRUE(AutostartIsOn(store)) << "any program counts";
}

TEST(Autostart, TheCommandIsTheProgramInItsFolder) {
  EXPECT_EQ(AutostartCommand("C:\\Program Files\\quorvel\\"), "C:\\Program Files\\quorvel\\quorvel.exe");
}
