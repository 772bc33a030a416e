// The fill list note renderer as the host's note utility works it: created
// through its class record, shown over the push center's fills, updated
// every second, asked for its buttons and status text, closed and
// destroyed; and the list's and header's drawing decisions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/addin/unt_feature.h"
#include "plugin/push/unt_pushcenter.h"
#include "plugin/ui/unt_listnoterender.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"

namespace {

using push::TFillRecord;
using testing_support::G;
using testing_support::U;
using ui::CListNoteRender;

// A view that records what the renderer asked of its window.
struct TViewLog {
  std::vector<int> shown;  // ShowRows calls
  int made = 0, closed = 0;
};

class CFakeView final : public ui::INoteView {
 public:
  explicit CFakeView(TViewLog& log) : log_(log) { ++log_.made; }
  kv::KvHwnd Window() override { return reinterpret_cast<kv::KvHwnd>(0x4001); }
  void ShowRows(int rows) override { log_.shown.push_back(rows); }
  void Close() override {
    ++log_.closed;
    delete this;
  }

 private:
  ~CFakeView() = default;
  TViewLog& log_;
};

class CFakeViews final : public ui::INoteViewFactory {
 public:
  ui::INoteView* CreateNoteView(kv::KvHwnd parent, CListNoteRender&) override {
    parents.push_back(parent);
    return fail ? nullptr : new CFakeView(log);
  }
  TViewLog log;
  std::vector<kv::KvHwnd> parents;
  bool fail = false;
};

TFillRecord Fill(int n, uint8_t direction = 1) {
  TFillRecord r{};
  base::WriteFixedText(r.code, std::to_string(600000 + n));
  base::WriteFixedText(r.name, G("浦发银行"));
  base::WriteFixedText(r.time, "09:31:05");
  base::WriteFixedText(r.quantity, std::to_string(100 * n));
  base::WriteFixedText(r.price, "10.25");
  base::WriteFixedText(r.business, G(direction == 2 ? "卖出" : "买入"));
  r.direction = direction;
  return r;
}

class NoteRender : public ::testing::Test {
 protected:
  void SetUp() override {
    harness_.context.center.store(&center_);
    harness_.context.views = &views_;
    port_.SetModule("KvNoteUtility", notes_.Abi());
    renderer_ = Make();
  }
  void TearDown() override {
    if (renderer_) renderer_->Destroy();
  }
  // What the feature entry does: the class record's object with its header.
  CListNoteRender* Make() {
    auto* face = static_cast<kv::IListNoteRender*>(CListNoteRender::kClassRecord.create());
    auto* renderer = static_cast<CListNoteRender*>(face);
    addin::TFeatureHeader& header = addin::HeaderOf(face);
    EXPECT_EQ(&header, &renderer->header) << "the header follows the interface table pointer";
    header.port = testing_support::Kv(port_);
    header.modules = addin::QueryModules(header.port);
    header.addin = &link_;
    header.argument = 0x7070;  // the note window
    return renderer;
  }
  std::string Cell(int row, int column) const { return U(std::string(renderer_->CellText(row, column))); }
  std::vector<std::string> Row(int row) const {
    std::vector<std::string> cells;
    for (int c = 0; c < ui::kNoteColumns; ++c) cells.push_back(Cell(row, c));
    return cells;
  }
  std::string Status() { return U(renderer_->GetStatusText(0)); }
  // Drives OnNoteUpdate until the rows have been reloaded by it.
  void UpdateUntilReloaded() {
    const size_t before = views_.log.shown.size();
    for (int i = 0; i < 3 && views_.log.shown.size() == before; ++i) renderer_->OnNoteUpdate(0);
    ASSERT_GT(views_.log.shown.size(), before);
  }

  testing_support::TPluginHarness harness_;
  addin::CAddinLink& link_ = harness_.addin;
  push::CPushCenter center_{harness_.system, harness_.cache};
  CFakeViews views_;
  simhost::CCallLog log_;
  simhost::CHostPort port_{log_};
  simhost::CHostNoteUtility notes_{log_};
  simhost::CHostNote note_{log_};
  CListNoteRender* renderer_ = nullptr;
};

TEST_F(NoteRender, ThreeFillsWithoutTimingRowAreListedNewestFirstInRedThenStayRed) {
  center_.SetShowTiming(false);
  for (int n = 1; n <= 3; ++n) center_.AddFill(Fill(n, n == 2 ? 2 : 1));
  auto* note = static_cast<kv::IKvNote*>(note_.Abi());
  EXPECT_EQ(renderer_->Create(0x99, note), reinterpret_cast<kv::KvHwnd>(0x4001));
  EXPECT_EQ(views_.parents, std::vector<kv::KvHwnd>{reinterpret_cast<kv::KvHwnd>(0x7070)});
  EXPECT_TRUE(renderer_->Loaded());
  EXPECT_EQ(views_.log.shown, std::vector<int>{4});
  ASSERT_EQ(renderer_->RowCount(), 4);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"600003", "浦发银行", "300", "10.25", "09:31:05", "买入"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"600002", "浦发银行", "-200", "10.25", "09:31:05", "卖出"}));
  EXPECT_EQ(Cell(2, 0), "600001");
  EXPECT_EQ(Row(3), std::vector<std::string>(6, "")) << "the last row stays empty without a timing row";
  EXPECT_EQ(Cell(4, 0), "") << "no text beyond the rows";
  for (int row = 0; row < 3; ++row) EXPECT_EQ(renderer_->List().RowTextColour(row), ui::kRed) << row;
  EXPECT_EQ(renderer_->List().RowTextColour(3), ui::kBlack);
  EXPECT_EQ(Status(), "共接收数据3条,新接收数据2条") << "the new count minus one";

  // The columns as the dialog initialisation sets them up.
  const auto& header = renderer_->List().header;
  std::vector<std::string> headings;
  for (const auto& h : header.Headings()) headings.push_back(U(h));
  EXPECT_EQ(headings, (std::vector<std::string>{"证券代码", "证券名称", "成交数量", "成交价格", "成交时间", "业务说明"}));
  EXPECT_EQ(header.Alignments(), "111111");
  EXPECT_EQ(header.GradientRow(0), ui::kWhite);
  EXPECT_EQ(header.GradientRow(1), ui::Rgb(251, 251, 251)) << "darker by 4 per pixel row";
  EXPECT_EQ(header.GradientRow(70), ui::Rgb(0, 0, 0)) << "never below 0";
  EXPECT_EQ(renderer_->List().CellBackground(true, ui::Rgb(1, 2, 3), ui::Rgb(4, 5, 6)), ui::Rgb(192, 192, 192));
  EXPECT_EQ(renderer_->List().CellBackground(false, ui::Rgb(1, 2, 3), ui::Rgb(4, 5, 6)), ui::kWhite);

  // The next reload finds nothing new: the rows stay red, one new reported.
  UpdateUntilReloaded();
  EXPECT_EQ(renderer_->NewCount(), 0);
  EXPECT_EQ(renderer_->List().RowTextColour(0), ui::kRed);
  EXPECT_EQ(Status(), "共接收数据3条,新接收数据1条");
  // A new fill recolours: only the new row is red.
  center_.AddFill(Fill(4));
  UpdateUntilReloaded();
  EXPECT_EQ(renderer_->RowCount(), 5);
  EXPECT_EQ(Cell(0, 0), "600004");
  EXPECT_EQ(renderer_->List().RowTextColour(0), ui::kRed);
  EXPECT_EQ(renderer_->List().RowTextColour(1), ui::kBlack);
}

TEST_F(NoteRender, SeventyFillsWithTimingRowShowTheTimingRowAndTheNewest64) {
  for (int n = 1; n <= 70; ++n) center_.AddFill(Fill(n, n % 10 == 0 ? 2 : 1));
  TFillRecord timing{};
  base::WriteFixedText(timing.code, G("委托耗时:"));
  base::WriteFixedText(timing.name, "230(ms)");
  base::WriteFixedText(timing.price, G("成交耗时:"));
  base::WriteFixedText(timing.time, "4230(ms)");
  center_.SetTimingRow(timing);
  ASSERT_NE(renderer_->Create(1, nullptr), nullptr);
  ASSERT_EQ(renderer_->RowCount(), 65);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"委托耗时:", "230(ms)", "", "成交耗时:", "4230(ms)", ""}));
  EXPECT_EQ(Cell(1, 0), "600070");
  EXPECT_EQ(Cell(1, 2), "-7000") << "a sell is listed with a minus sign";
  EXPECT_EQ(Cell(64, 0), "600007") << "the six oldest are gone";
  EXPECT_EQ(renderer_->List().RowTextColour(64), ui::kRed);
  EXPECT_EQ(Status(), "共接收数据70条,新接收数据70条") << "70 new and the timing row";

  // Five more: the timing row counts as one more new row.
  for (int n = 71; n <= 75; ++n) center_.AddFill(Fill(n));
  UpdateUntilReloaded();
  EXPECT_EQ(Status(), "共接收数据75条,新接收数据5条");
  EXPECT_EQ(renderer_->List().RowTextColour(5), ui::kRed);
  EXPECT_EQ(renderer_->List().RowTextColour(6), ui::kBlack);
}

TEST_F(NoteRender, TextsThatFillTheirFieldsAreShownWithinThemAndNeverOverRead) {
  center_.SetShowTiming(false);
  TFillRecord full;
  std::memset(static_cast<void*>(&full), 'X', sizeof full);
  std::memset(full.business, 'B', sizeof full.business);
  full.direction = 'D';
  center_.AddFill(full);
  ASSERT_NE(renderer_->Create(1, nullptr), nullptr);
  EXPECT_EQ(Cell(0, 0), std::string(16, 'X'));
  EXPECT_EQ(Cell(0, 5), std::string(8, 'B')) << "the direction byte after the field is not read";
  for (int c = 0; c < ui::kNoteColumns; ++c) EXPECT_LE(renderer_->CellText(0, c).size(), 16u);
}

TEST_F(NoteRender, ButtonsUpdatesAndCloseAsTheNoteUtilityAsks) {
  uint32_t values[2] = {0, 0};
  EXPECT_EQ(renderer_->GetButtons(nullptr, 0), 1);
  EXPECT_EQ(renderer_->GetButtons(values, 2), 1);
  EXPECT_EQ(values[0], ui::kButtonsLast) << "no note: nothing more";
  EXPECT_EQ(values[1], 0u) << "one value only";
  char text[16];
  renderer_->GetButtonText(7, text, sizeof text);
  EXPECT_EQ(U(text), "关闭");
  renderer_->GetButtonText(6, text, sizeof text);
  EXPECT_EQ(U(text), "下一条");
  renderer_->GetButtonText(6, text, 4);
  EXPECT_EQ(U(text), "下") << "cut within the size, never inside a character";
  std::strcpy(text, "x");
  renderer_->GetButtonText(7, text, 0);
  EXPECT_STREQ(text, "x");

  auto* note = static_cast<kv::IKvNote*>(note_.Abi());
  ASSERT_NE(renderer_->Create(0x55, note), nullptr);
  ASSERT_EQ(views_.log.shown.size(), 1u);
  // Directly after Create no reload; then every second call, one counter
  // for the whole process.
  log_.Clear();
  std::vector<bool> reloads;
  for (int i = 0; i < 5; ++i) {
    const int counter = CListNoteRender::UpdateCounter();
    const size_t before = views_.log.shown.size();
    EXPECT_EQ(renderer_->OnNoteUpdate(0x31), 1u);
    const bool reloaded = views_.log.shown.size() > before;
    EXPECT_EQ(reloaded, i > 0 && counter % 2 == 0) << i;
    EXPECT_EQ(CListNoteRender::UpdateCounter(), counter + (i > 0 ? 1 : 0)) << i;
    reloads.push_back(reloaded);
  }
  EXPECT_EQ(std::count(reloads.begin(), reloads.end(), true), 2);
  EXPECT_EQ(log_.Count("Notes.UpdateNote(85)"), 5u) << "every update goes on to the note utility";

  log_.Clear();
  EXPECT_EQ(renderer_->OnCloseButton(0), 1u) << "EndNote's answer";
  EXPECT_EQ(log_.Lines(), (std::vector<std::string>{"Note.SetClosed(1)", "Note.SetDone(1)", "Notes.UpdateNote(85)",
                                                    "Notes.EndNote(85,3)"}));
  renderer_->Destroy();
  renderer_ = nullptr;
  EXPECT_EQ(views_.log.closed, 1) << "Destroy closes the window";
}

TEST_F(NoteRender, CreateThatCannotMakeTheDialogLoadsNothingAndLeavesNoWindow) {
  center_.AddFill(Fill(1));
  views_.fail = true;
  EXPECT_EQ(renderer_->Create(1, nullptr), nullptr);
  EXPECT_FALSE(renderer_->Loaded());
  EXPECT_EQ(renderer_->RowCount(), 0);
  renderer_->OnNoteUpdate(0);
  renderer_->OnNoteUpdate(0);
  EXPECT_EQ(center_.CopyFills(std::vector<TFillRecord>(2).data(), 2), 1) << "the fill is still new for the next note";
  views_.fail = false;
  EXPECT_NE(renderer_->Create(1, nullptr), nullptr);
  EXPECT_NE(renderer_->Create(2, nullptr), nullptr);
  EXPECT_EQ(views_.log.made - views_.log.closed, 1) << "a second Create replaces the first window";
}

TEST(NoteStatusText, OnlyTwoNumbersAreFormattedWhateverTheResourceText) {
  char buffer[64];
  ui::FormatStatusText(G("共接收数据%d条,新接收数据%d条"), 12, 3, buffer, sizeof buffer);
  EXPECT_EQ(U(buffer), "共接收数据12条,新接收数据3条");
  ui::FormatStatusText("%s %n %d%% %d %d", 1, 2, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "%s %n 1% 2 %d");
  ui::FormatStatusText(G("共接收数据%d条"), 123456, 0, buffer, 12);
  EXPECT_EQ(U(buffer), "共接收数据1") << "cut within the buffer";
  EXPECT_EQ(ui::AlignmentChar(ui::format::kLeft), '0');
  EXPECT_EQ(ui::AlignmentChar(ui::format::kRight), '2');
  EXPECT_EQ(ui::AlignmentChar(ui::format::kCentre), '1');
  EXPECT_EQ(ui::AlignmentChar(7), '1');
}

}  // namespace
