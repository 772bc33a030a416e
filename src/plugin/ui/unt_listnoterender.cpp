#include "plugin/ui/unt_listnoterender.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <new>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "plugin/addin/unt_hostedge.h"
#include "plugin/push/unt_pushcenter.h"
#include "plugin/res/resource.h"

namespace ui {
namespace {

void* CreateListNoteRender() { return static_cast<kv::IListNoteRender*>(new (std::nothrow) CListNoteRender); }

// Counts the OnNoteUpdate calls that come while the rows are not freshly
// loaded, for every renderer of the process: every second one reloads.
int g_updateCounter = 0;
// The status text of the last GetStatusText, whichever renderer asked.
std::array<char, 256> g_statusText{};

// Where each column's text stands in a fill record (and on the timing row).
struct TColumn {
  uint32_t heading;
  size_t offset;
  size_t width;
};
constexpr TColumn kColumns[kNoteColumns] = {
    {IDS_COLUMN_CODE, offsetof(push::TFillRecord, code), sizeof(push::TFillRecord::code)},
    {IDS_COLUMN_NAME, offsetof(push::TFillRecord, name), sizeof(push::TFillRecord::name)},
    {IDS_COLUMN_QUANTITY, offsetof(push::TFillRecord, quantity), sizeof(push::TFillRecord::quantity)},
    {IDS_COLUMN_PRICE, offsetof(push::TFillRecord, price), sizeof(push::TFillRecord::price)},
    {IDS_COLUMN_TIME, offsetof(push::TFillRecord, time), sizeof(push::TFillRecord::time)},
    {IDS_COLUMN_BUSINESS, offsetof(push::TFillRecord, business), sizeof(push::TFillRecord::business)},
};

// Copies a GBK text into a caller's buffer, terminated within `size`.
void CopyText(std::string_view text, char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  const size_t n = base::GbkPrefixLength(text, size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

// The record carries the size the class is registered with in the host's
// catalogue of feature classes, whatever this build's object takes: the
// object is only ever made by the create function.
const addin::TFeatureClassRecord CListNoteRender::kClassRecord = {"CListNoteRender", 536, 0, &CreateListNoteRender};

CListNoteRender::~CListNoteRender() {
  // The window goes before the rows it shows.
  view_.reset();
}

int CListNoteRender::UpdateCounter() { return g_updateCounter; }

push::CPushCenter* CListNoteRender::Center() const {
  const push::TPluginContext* context = Context();
  return context ? context->center.load() : nullptr;
}

const char* CListNoteRender::Text(uint32_t id) const {
  const push::TPluginContext* context = Context();
  const char* text = context && context->strings ? context->strings->Text(id) : nullptr;
  return text ? text : "";
}

void CListNoteRender::Destroy() {
  view_.reset();
  delete this;
}

int32_t CListNoteRender::GetButtons(uint32_t* values, int32_t capacity) {
  if (!values || capacity <= 0) return 1;
  values[0] = note_ && note_->HasMore() ? kButtonsWithMore : kButtonsLast;
  return 1;
}

void CListNoteRender::GetButtonText(int32_t button, char* buffer, int32_t size) {
  if (size <= 0) return;
  CopyText("", buffer, static_cast<size_t>(size));
  addin::HostCall([&] {
    CopyText(Text(button == kCloseButton ? IDS_BUTTON_CLOSE : IDS_BUTTON_NEXT), buffer, static_cast<size_t>(size));
  });
}

void CListNoteRender::ConfigureList() {
  list_ = CListCtrlClModel{};
  list_.SetHeaderHeight(1.0f);
  list_.SetHeaderFont(12, 0);
  list_.SetHeaderTextColour(kBlack);
  list_.SetHeaderBackground(255, 255, 255, 4);
  list_.SetSelectedRowBackground(Rgb(192, 192, 192));
  list_.SetBackground(kWhite);
  for (const TColumn& column : kColumns) list_.InsertColumn(Text(column.heading), format::kCentre);
}

kv::KvHwnd CListNoteRender::Create(kv::KvValue rendererKey, kv::IKvNote* note) {
  return addin::HostCall(nullptr, [&] { return MakeView(rendererKey, note); });
}

kv::KvHwnd CListNoteRender::MakeView(kv::KvValue rendererKey, kv::IKvNote* note) {
  key_ = rendererKey;
  note_ = note;
  // A second Create replaces the first window.
  view_.reset();
  loaded_ = false;
  ConfigureList();
  push::TPluginContext* context = Context();
  INoteViewFactory* factory = context ? context->views : nullptr;
  if (!factory) return nullptr;
  view_.reset(factory->CreateNoteView(reinterpret_cast<kv::KvHwnd>(header.argument), *this));
  if (!view_) return nullptr;
  LoadRows();
  loaded_ = true;
  return view_->Window();
}

bool CListNoteRender::LoadRows() {
  push::CPushCenter* center = Center();
  // Without a window nothing is shown: the fills stay new for the next note.
  if (!center || !view_) return false;
  if (rows_.empty()) {
    try {
      rows_.assign(kNoteRows, push::TFillRecord{});
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  const int rows = std::min(center->StoredCount() + 1, kNoteRows);
  newCount_ = center->CopyFills(rows_.data(), rows);
  if (newCount_ > 0) {
    list_.ClearRowTextColours();
    // Only rows the list can show; a long absence must not grow the map.
    for (int row = 0; row < std::min(newCount_, kNoteRows); ++row) list_.SetRowTextColour(row, kRed);
  }
  rowCount_ = rows;
  if (view_) view_->ShowRows(rows);
  return true;
}

std::string_view CListNoteRender::CellText(int row, int column) const {
  if (row < 0 || row >= rowCount_ || column < 0 || column >= kNoteColumns ||
      static_cast<size_t>(row) >= rows_.size())
    return {};
  const TColumn& c = kColumns[column];
  const char* field = reinterpret_cast<const char*>(&rows_[static_cast<size_t>(row)]) + c.offset;
  return base::FixedTextView(field, c.width);
}

kv::KvValue CListNoteRender::OnCloseButton(kv::KvValue) {
  return addin::HostCall(0, [this] { return CloseNote(); });
}

kv::KvValue CListNoteRender::CloseNote() {
  if (note_) {
    note_->SetClosed(1);
    note_->SetDone(1);
  }
  kv::IKvNoteUtility* utility = header.modules.note;
  if (!utility) return 0;
  utility->UpdateNote(key_, reinterpret_cast<kv::KvValue>(note_));
  return utility->EndNote(key_, note_, 3, 0);
}

kv::KvValue CListNoteRender::OnNoteUpdate(kv::KvValue value) {
  return addin::HostCall(0, [&]() -> kv::KvValue {
    if (!loaded_) {
      if (g_updateCounter % 2 == 0) LoadRows();
      ++g_updateCounter;
    }
    loaded_ = false;
    kv::IKvNoteUtility* utility = header.modules.note;
    return utility ? utility->UpdateNote(key_, value) : 0;
  });
}

const char* CListNoteRender::GetStatusText(kv::KvValue) {
  return addin::HostCall("", [this] {
    push::CPushCenter* center = Center();
    const int total = center ? center->TotalCount() : 0;
    FormatStatusText(Text(IDS_NOTE_STATUS), total, std::max(newCount_ - 1, 1), g_statusText.data(),
                     g_statusText.size());
    return static_cast<const char*>(g_statusText.data());
  });
}

void FormatStatusText(std::string_view format, int total, int fresh, char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  std::string out;
  const int values[2] = {total, fresh};
  int used = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '%' && i + 1 < format.size()) {
      const char next = format[i + 1];
      if (next == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (next == 'd' && used < 2) {
        out += std::to_string(values[used++]);
        ++i;
        continue;
      }
    }
    out += c;
    // A double-byte character's trail byte may be '%': copy it with its lead.
    if (base::IsGbkLeadByte(static_cast<unsigned char>(c)) && i + 1 < format.size()) out += format[++i];
  }
  CopyText(out, buffer, size);
}

}  // namespace ui
