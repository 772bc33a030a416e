// The fill list note renderer "Note.ListNoteRender" (feature 104, class
// CListNoteRender): the host's note utility has it render the body of the
// fill note, a child dialog with one owner-data list of the newest fills
// (the timing row on top, new rows in red), and asks it for the note's
// buttons, its status text and the close.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "plugin/addin/kvaddin.h"
#include "plugin/addin/unt_feature.h"
#include "plugin/push/unt_pushports.h"
#include "plugin/push/unt_pushrecords.h"
#include "plugin/ui/unt_listctrlcl.h"

namespace push {
class CPushCenter;
}

namespace ui {

constexpr int kNoteRows = 65;     // the timing row and the 64 fills of the ring
constexpr int kNoteColumns = 6;
constexpr int kColumnWidth = 61;  // pixels
constexpr int kCloseButton = 7;
constexpr uint32_t kButtonsWithMore = 0x00060003;
constexpr uint32_t kButtonsLast = 0x00060007;

class CListNoteRender;

// The renderer's window: the dialog of template 4001 with its list (Win32).
class INoteView {
 public:
  virtual kv::KvHwnd Window() = 0;
  // The list shows `rows` rows, which are drawn again.
  virtual void ShowRows(int rows) = 0;
  // Destroys the window when it still exists and frees the view; a message
  // the window is handling right now finishes first, and from now on
  // nothing reaches the renderer.
  virtual void Close() = 0;

 protected:
  ~INoteView() = default;
};

// Makes the views: the module object sets one up (Win32) in the plug-in's
// context; without one the renderer makes no window.
class INoteViewFactory {
 public:
  virtual ~INoteViewFactory() = default;
  // The dialog as a child of `parent`, its list set up from the renderer's
  // list settings; null when the dialog cannot be made.
  virtual INoteView* CreateNoteView(kv::KvHwnd parent, CListNoteRender& renderer) = 0;
};

class CListNoteRender final : public kv::IListNoteRender {
 public:
  CListNoteRender() = default;
  ~CListNoteRender();
  CListNoteRender(const CListNoteRender&) = delete;
  CListNoteRender& operator=(const CListNoteRender&) = delete;

  static const addin::TFeatureClassRecord kClassRecord;

  // IListNoteRender
  void* KVAPI GetSelf() override { return static_cast<kv::IListNoteRender*>(this); }
  kv::IFeatureEntry* KVAPI GetEntry() override { return header.entry; }
  void KVAPI SetEntry(kv::IFeatureEntry* entry) override { header.entry = entry; }
  void KVAPI Destroy() override;
  int32_t KVAPI GetButtons(uint32_t* values, int32_t capacity) override;
  void KVAPI GetButtonText(int32_t button, char* buffer, int32_t size) override;
  kv::KvHwnd KVAPI Create(kv::KvValue rendererKey, kv::IKvNote* note) override;
  kv::KvBool KVAPI Reserved1(kv::KvValue) override { return 1; }
  kv::KvBool KVAPI Reserved2(kv::KvValue) override { return 1; }
  kv::KvValue KVAPI OnCloseButton(kv::KvValue) override;
  void KVAPI Reserved3(kv::KvValue, kv::KvValue) override {}
  kv::KvValue KVAPI OnNoteUpdate(kv::KvValue value) override;
  const char* KVAPI GetStatusText(kv::KvValue) override;
  void* KVAPI DeletingDestructor(unsigned flag) override { return kv::DeleteSelf(this, flag); }

  // What the view reads.
  const CListCtrlClModel& List() const { return list_; }
  int RowCount() const { return rowCount_; }
  int NewCount() const { return newCount_; }
  bool Loaded() const { return loaded_; }
  // A cell's text (GBK) inside its field of the row buffer: up to the
  // field's first NUL or its end, never beyond; empty outside the rows.
  std::string_view CellText(int row, int column) const;
  // The text of a list font's face (string 10009) and the header's (10008).
  const char* Text(uint32_t id) const;

  // Reads the newest fills out of the push center into the row buffer and
  // colours the new ones red. False when there is no push center, no
  // window or the row buffer cannot be had.
  bool LoadRows();

  // The process-wide count of the OnNoteUpdate calls that took part in the
  // every-second reload.
  static int UpdateCounter();

  // First member: the feature header follows the interface table pointer.
  addin::TFeatureHeader header;

 private:
  struct TViewCloser {
    void operator()(INoteView* view) const { view->Close(); }
  };

  push::TPluginContext* Context() const { return header.addin ? &header.addin->Context() : nullptr; }
  push::CPushCenter* Center() const;
  // What Create and OnCloseButton do.
  kv::KvHwnd MakeView(kv::KvValue rendererKey, kv::IKvNote* note);
  kv::KvValue CloseNote();
  // The list's settings of the dialog initialisation: colours, header and
  // the six columns.
  void ConfigureList();

  std::unique_ptr<INoteView, TViewCloser> view_;
  CListCtrlClModel list_;
  kv::KvValue key_ = 0;
  kv::IKvNote* note_ = nullptr;  // not owned
  std::vector<push::TFillRecord> rows_;  // 65 records once the first load had them
  int rowCount_ = 0;
  int newCount_ = 0;
  bool loaded_ = false;
};

// Formats the note's status text: the first "%d" of `format` becomes
// `total`, the second `fresh`, "%%" a percent sign; any other conversion is
// copied as it stands, so a resource text can never read arguments that are
// not there. Cut to `size` - 1 bytes without splitting a character.
void FormatStatusText(std::string_view format, int total, int fresh, char* buffer, size_t size);

}  // namespace ui
