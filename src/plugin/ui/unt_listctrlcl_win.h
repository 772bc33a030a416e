// The plug-in's owner-drawn list view (CListCtrlCl) and its gradient header
// (CHeaderCtrlCl) over Win32: both take over windows the dialog manager made
// and draw what their settings (CListCtrlClModel) say.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/ui/unt_listctrlcl.h"

namespace ui {

// The owner of subclassed windows counts the calls in progress in any of
// them, so that it is never freed under one of them: Leave may free it.
class ICallDepth {
 public:
  virtual void Enter() = 0;
  virtual void Leave() = 0;

 protected:
  ~ICallDepth() = default;
};

// A window of another class whose messages an object sees first.
class CSubclassedWindow {
 public:
  HWND Window() const { return window_; }
  // Gives the window its original procedure back; idempotent.
  void Detach();

 protected:
  CSubclassedWindow() = default;
  ~CSubclassedWindow() { Detach(); }
  CSubclassedWindow(const CSubclassedWindow&) = delete;
  CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;

  bool Hook(HWND window, ICallDepth* depth);
  LRESULT CallOriginal(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  WNDPROC original_ = nullptr;
  ICallDepth* depth_ = nullptr;
};

class CHeaderCtrlCl final : public CSubclassedWindow {
 public:
  // `face` is the heading font's face name.
  bool Attach(HWND header, const CHeaderCtrlClModel& model, std::wstring face, ICallDepth* depth);

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC dc);
  void FillGradient(HDC dc, const RECT& item);

  const CHeaderCtrlClModel* model_ = nullptr;
  std::wstring face_;
};

class CListCtrlCl final : public CSubclassedWindow {
 public:
  // Turns the list's owner-draw fixed style on and takes over its header.
  bool Attach(HWND list, const CListCtrlClModel& model, std::wstring cellFace, std::wstring headerFace,
              ICallDepth* depth);
  void DetachAll();
  void InsertColumn(int index, const std::wstring& heading, int columnFormat, int width);
  // One row (WM_DRAWITEM of the list's parent): its cells with their
  // backgrounds, alignments and the row's text colour. Stops when the list
  // is let go of while it asks the list for a cell.
  void DrawItem(const DRAWITEMSTRUCT& item);
  HWND HeaderWindow() const { return header_.Window(); }

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Into a memory image first, copied to the window in one step; the
  // header's area is left to the header.
  void Paint();

  const CListCtrlClModel* model_ = nullptr;
  std::wstring cellFace_;
  CHeaderCtrlCl header_;
};

// A GBK text for the wide API.
std::wstring WideFromGbk(std::string_view gbk);

}  // namespace ui
