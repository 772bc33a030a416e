#include "policy/unt_editorframe.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "policy/unt_policy_describe.h"

namespace policy {
namespace {

// The shortest decimal form of a value already rounded to `decimals`.
std::string Shortest(double value, int decimals) {
  std::string text = base::FormatFixed(value, decimals);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  return text.empty() || text == "-0" ? "0" : text;
}

// A file of the application folder given as "res\\name".
std::string AppFile(const std::string& folder, std::string_view relative) {
  std::filesystem::path path = base::PathFromUtf8(folder);
  size_t start = 0;
  while (start <= relative.size()) {
    const size_t end = std::min(relative.find('\\', start), relative.size());
    if (end > start) path /= base::PathFromUtf8(relative.substr(start, end - start));
    start = end + 1;
  }
  return base::PathToUtf8(path);
}

// The GBK bytes of the per-mille sign.
constexpr std::string_view kGbkMarker = "\xA1\xEB";

}  // namespace

std::string SpinValue(std::string_view text, double step, int decimals, bool up) {
  const double value = NumberOf(text).value_or(0.0);
  const double next = up ? value + step : value - step;
  if (next < 0) return "0";
  const double scale = std::pow(10.0, decimals);
  return Shortest(std::round(next * scale) / scale, decimals);
}

std::optional<double> NumberOf(std::string_view text) {
  const auto value = base::ParseDecimal(base::Trim(text));
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

std::optional<double> PriceOf(std::string_view text) {
  const auto value = NumberOf(text);
  if (!value) return std::nullopt;
  const double rounded = PriceAtThousandths(*value);
  if (std::fabs(rounded) > std::numeric_limits<float>::max()) return std::nullopt;
  return rounded;
}

std::optional<int32_t> WholeNumberOf(std::string_view text) {
  const auto value = NumberOf(text);
  if (!value || *value != std::floor(*value)) return std::nullopt;
  if (*value < std::numeric_limits<int32_t>::min() || *value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(*value);
}

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (const char c : base::Trim(utf8)) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

settings::TAmountText ShownAmount(std::string_view stored) {
  // The rule works on the stored bytes: with the marker anywhere, the last
  // two bytes go and the non-yuan unit is chosen.
  const std::string gbk = base::Utf8ToGbkLossy(stored);
  if (gbk.find(kGbkMarker) == std::string::npos) return {std::string(stored), false};
  return {base::GbkToUtf8Lossy(std::string_view(gbk).substr(0, gbk.size() - 2)), true};
}

std::string StoredAmount(std::string_view text, bool yuan) {
  return settings::JoinUnitMarker(base::Trim(text), !yuan);
}

int MinuteOfDay(base::TDateTime value) {
  const double fraction = value - std::floor(value);
  // Whole seconds first, so that 09:30:00 held as 09:29:59.9999 counts as 09:30.
  const auto seconds = static_cast<int>(std::llround(fraction * base::kSecondsPerDay));
  return (seconds / 60) % (24 * 60);
}

std::string QuoteName(const quotes::TQuoteReport& report) {
  return std::string(base::Trim(base::GbkToUtf8Lossy(base::FixedTextView(report.name))));
}

bool TCodeEntry::Changed(std::string_view code) {
  if (code == handled_) return false;
  handled_ = code;
  answered_ = true;
  return true;
}

bool TCodeEntry::KeyReleased(std::string_view code) {
  if (std::exchange(answered_, false) && code == handled_) return false;
  handled_ = code;
  return true;
}

// ---- TEditorFrame ------------------------------------------------------------

TEditorFrame::TEditorFrame(TEditorServices services, IEditorDialog& dialog, uint8_t kind,
                           settings::TMonitorSection section, Texts texts)
    : services_(std::move(services)), dialog_(dialog), kind_(kind), section_(section), texts_(std::move(texts)) {}

TEditorFrame::~TEditorFrame() {
  *alive_ = false;
  StopLivePrices();
}

void TEditorFrame::OpenForAdd() {
  mode = TEditorMode::Add;
  closeRequested_ = false;
  Reset();
  codeEntry_.Forget();
}

bool TEditorFrame::OpenForModify(const TPolicyRecord& monitor) {
  closeRequested_ = false;
  edited_ = monitor;
  mode = TEditorMode::Modify;
  Reset();
  codeText = CodeText(monitor);
  nameText = NameUtf8(monitor);
  codeEntry_.Forget();
  codeEntry_.Changed(base::Trim(codeText));
  try {
    LookUpCode(std::string(base::Trim(codeText)));
  } catch (...) {
    StopLivePrices();
    return false;
  }
  RefillRest(monitor);
  return true;
}

void TEditorFrame::FormShow() {
  title = mode == TEditorMode::Add ? texts_.addTitle : texts_.modifyTitle;
  MoveFocus(kCtlCode);
}

void TEditorFrame::FormClose() { StopLivePrices(); }

void TEditorFrame::Close() {
  StopLivePrices();
  closeRequested_ = true;
}

std::string TEditorFrame::HelpPath() const {
  return AppFile(services_.settings ? services_.settings->ApplicationFolder() : std::string(), texts_.helpFile);
}

settings::TMonitorDefaults& TEditorFrame::Defaults() { return services_.settings->monitorDefaults[section_]; }

// ---- code lookup ----

void TEditorFrame::RzEditLabelKeyUp() {
  if (codeEntry_.KeyReleased(base::Trim(codeText))) CodeEntered();
}

void TEditorFrame::RzEditLabelChange() {
  if (codeEntry_.Changed(base::Trim(codeText))) CodeEntered();
}

void TEditorFrame::CodeEntered() {
  const std::string code(base::Trim(codeText));
  if (CharacterCount(code) != 6) {
    StopLivePrice(TLiveRole::Main);
    return;
  }
  LookUpCode(code);
}

void TEditorFrame::RzEditLabelClick() { statusText.clear(); }

void TEditorFrame::LookUpCode(const std::string& code) {
  codeEnabled = false;
  dialog_.Refresh();
  struct EnableAgain {
    TEditorFrame& frame;
    ~EnableAgain() { frame.codeEnabled = true; }
  } enableAgain{*this};
  quotes::TQuoteReport report = FreshQuote(code);
  quote_ = report;
  nameText = QuoteName(quote_);
  AfterLookup();
  StartLivePrice(TLiveRole::Main, code);
}

quotes::TQuoteReport TEditorFrame::FreshQuote(const std::string& code) {
  quotes::TQuoteReport report{};
  ++lookups_;
  if (services_.requestQuote) services_.requestQuote(code, report);
  return report;
}

void TEditorFrame::AfterLookup() {
  openText = base::FormatPrice(quote_.open);
  closeText = base::FormatPrice(quote_.prevClose);
  if (setPriceEnabled) {
    MoveFocus(kCtlSetPrice);
  } else {
    MoveFocus(NextAfterSetPrice());
  }
}

bool TEditorFrame::CodeValid() const {
  // The quote must be the one of the code now in the box, not of a code
  // that was there before.
  const std::string_view code = base::Trim(codeText);
  return CharacterCount(code) == 6 && quotes::FoundQuote(quote_, code);
}

std::optional<TEditorFrame::TBasisPrice> TEditorFrame::BasisSetPrice() {
  switch (basis) {
    case kBasisOpen:
      if (!quotes::IsTradedPrice(quote_.open)) {
        Refuse(kNoOpenPriceText);
        return std::nullopt;
      }
      return TBasisPrice{quote_.open, 0};
    case kBasisPrevClose:
      if (!quotes::IsTradedPrice(quote_.prevClose)) {
        Refuse(kNoPrevClosePriceText);
        return std::nullopt;
      }
      return TBasisPrice{quote_.prevClose, 0};
    case kBasisNewest: {
      const std::string code(base::Trim(codeText));
      const quotes::TQuoteReport fresh = FreshQuote(code);
      if (!quotes::FoundQuote(fresh, code) || !quotes::IsTradedPrice(fresh.newestPrice)) {
        Refuse(kNoNewestPriceText);
        return std::nullopt;
      }
      return TBasisPrice{fresh.newestPrice, fresh.newestPrice};
    }
    default: return TBasisPrice{static_cast<float>(PriceOf(setPriceText).value_or(0.0)), 0};
  }
}

// ---- live-price updaters ----

void TEditorFrame::StartLivePrice(TLiveRole role, const std::string& code) {
  StopLivePrice(role);
  LiveSlot& slot = live_[Index(role)];
  const uint64_t serial = ++slot.serial;
  slot.code = code;
  auto show = [post = services_.postToGui, alive = alive_, this, role, serial](const std::string& caption) {
    if (!post) return;
    post([alive, this, role, serial, caption] {
      if (*alive) LivePriceArrived(role, serial, caption);
    });
  };
  slot.thread = std::make_unique<quotes::TGetStockInfoThread>(code, false, services_.requestQuote, std::move(show),
                                                               services_.livePricePause);
}

void TEditorFrame::StopLivePrice(TLiveRole role) {
  LiveSlot& slot = live_[Index(role)];
  // The worker's last caption would come after the next updater started;
  // the label is emptied here and every caption still on its way dropped.
  ++slot.serial;
  slot.text.clear();
  if (!slot.thread) return;
  slot.thread->Stop();
  slot.thread.reset();
}

void TEditorFrame::StopLivePrices() {
  StopLivePrice(TLiveRole::Main);
  StopLivePrice(TLiveRole::Target);
}

void TEditorFrame::LivePriceArrived(TLiveRole role, uint64_t serial, const std::string& caption) {
  LiveSlot& slot = live_[Index(role)];
  // A caption of an updater that a newer one replaced is dropped.
  if (serial != slot.serial) return;
  slot.text = caption;
  dialog_.Refresh();
}

// ---- fields ----

void TEditorFrame::ResetClick() {
  statusText.clear();
  StopLivePrices();
  Reset();
  codeEntry_.Forget();
}

void TEditorFrame::SetPriceSpin(bool up) {
  if (!setPriceEnabled) return;
  setPriceText = SpinValue(setPriceText, 0.001, 3, up);
}

void TEditorFrame::QuantitySpin(bool up) {
  const double value = std::trunc(NumberOf(quantityText).value_or(0.0));
  quantityText = SpinValue(base::FormatFixed(value, 0), 100, 0, up);
}

void TEditorFrame::BasisClick(int box, bool checked) {
  if (box < 1 || box > 3) return;
  if (checked) {
    basis = box;
    setPriceText = kBasisCaptions[box];
    setPriceEnabled = false;
  } else {
    if (basis == box) basis = 0;
    setPriceEnabled = true;
    setPriceText = Defaults().setPrice;
  }
}

void TEditorFrame::UncheckBasisBoxes() {
  if (basis != 0) BasisClick(basis, false);
  basis = 0;
  setPriceEnabled = true;
}

void TEditorFrame::RefillBasis(uint8_t priceBasis, float setPrice) {
  if (priceBasis >= kBasisOpen && priceBasis <= kBasisNewest) {
    basis = priceBasis;
    setPriceEnabled = false;
    setPriceText = priceBasis == kBasisNewest ? "用开始价" : kBasisCaptions[priceBasis];
  } else {
    basis = 0;
    setPriceEnabled = true;
    setPriceText = base::FormatPrice(setPrice);
  }
}

void TEditorFrame::FillOptimiseFromDefault() {
  const settings::TAmountText shown = ShownAmount(Defaults().optimiseAmount);
  optimise.amount = shown.value;
  optimise.yuan = !shown.nonYuan;
}

void TEditorFrame::RefillOptimise(const TPolicyRecord& monitor) {
  optimise.amount = base::FormatPrice(monitor.optAmount);
  SetOptimise(monitor.optFlag != 0);
  optimise.yuan = monitor.optUnit == kOptUnitYuan;
}

bool TEditorFrame::InSession() const {
  const base::TDateTime now = services_.now ? services_.now() : base::Now();
  return MinuteOfDay(now) >= 9 * 60 + 30;
}

bool TEditorFrame::Refuse(std::string text, std::string focusControl) {
  statusText = std::move(text);
  if (!focusControl.empty()) MoveFocus(std::move(focusControl));
  return false;
}

// ---- the record and the saving sequence ----

TPolicyRecord TEditorFrame::CommonRecord() const {
  TPolicyRecord r = NewPolicyRecord();
  r.id = mode == TEditorMode::Modify ? edited_.id : 0;
  r.kind = kind_;
  SetCode(r, base::Trim(codeText));
  SetName(r, base::Trim(nameText));
  r.market = static_cast<int32_t>(quote_.market);
  r.newestPrice = quote_.newestPrice;
  r.openPrice = quote_.open;
  r.prevClose = quote_.prevClose;
  if (optimise.checked) {
    r.optFlag = 1;
    r.optAmount = static_cast<float>(PriceOf(optimise.amount).value_or(0.0));
    r.optUnit = optimise.yuan ? kOptUnitYuan : kOptUnitPerMille;
  } else {
    r.optFlag = 0;
    r.optAmount = 10.0f;
    r.optUnit = kOptUnitPerMille;
  }
  r.promptOnly = activeChecked ? 0 : 1;
  return r;
}

bool TEditorFrame::SaveMonitor(TPolicyRecord record) {
  UpdateDescription(record);
  if (mode == TEditorMode::Add) {
    const std::string text = DescriptionUtf8(record) + "\r\n\r\n" + kConfirmQuestion;
    if (!dialog_.AskYesNo(text, kConfirmTitle)) return false;
    record.state = kStateRunning;
  } else if (services_.monitors) {
    // Checked and replaced in one step under the list's lock: quote
    // messages kept running monitors while the dialog was open.
    switch (services_.monitors->ReplaceEdited(record, edited_)) {
      case TEditedSave::Saved: break;
      case TEditedSave::Fired: return Refuse(kFiredWhileEditedText);
      case TEditedSave::Removed: return Refuse(kRemovedWhileEditedText);
    }
  } else {
    record.state = edited_.state;
  }
  StopLivePrices();
  if (services_.settings && services_.settings->options.soundOn != 0 && services_.playSound) {
    const std::string sound = AppFile(services_.settings->ApplicationFolder(), kPolicySoundFile);
    if (base::FileExists(sound)) services_.playSound(sound, false);
  }
  if (services_.monitors) {
    if (mode == TEditorMode::Add) {
      // Taken after the confirmation, which let other code change the list.
      record.id = services_.monitors->NextId();
      services_.monitors->Add(record);
    }
    services_.monitors->PublishLabels();
  }
  if (services_.rebuildMonitorList) services_.rebuildMonitorList();
  Close();
  return true;
}

void TEditorFrame::WriteDefaults() {
  if (!services_.settings) return;
  try {
    settings::WriteMonitorDefaults(services_.settings->ConfigPath(), section_, Defaults());
  } catch (const base::EIniFileException&) {
    // The defaults hold for this run; the user learns that they were not kept.
    statusText = kDefaultsNotWritten;
  }
}

}  // namespace policy
