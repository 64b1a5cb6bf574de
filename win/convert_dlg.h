#pragma once

#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>

#include <functional>
#include <string>

#include "app/drop_guard.h"
#include "base/platform_file_system.h"
#include "base/work_buffers.h"
#include "core/convert_job.h"
#include "win/message_box.h"

namespace loopsmith::win {

// The main window on template 102: says what to do, takes files dropped on it
// (its extended style accepts them) and hands the first to the conversion job.
class CConvertDlg final : private LoopParamsSource {
 public:
  CConvertDlg();
  CConvertDlg(const CConvertDlg&) = delete;
  CConvertDlg& operator=(const CConvertDlg&) = delete;
  ~CConvertDlg() override;

  // Runs the window modally until the user closes it.
  INT_PTR DoModal();
  // The same window without a modal loop of its own, for tests.
  HWND Create();

  // Converts the first file of a drop and releases the drop.
  JobOutcome OnDropFiles(HDROP drop);

  MessageBoxReporter& reporter() { return m_reporter; }
  HWND hwnd() const { return m_hwnd; }
  const JobOutcome& lastOutcome() const { return m_lastOutcome; }

 private:
  template <class Dialog>
  friend INT_PTR CALLBACK DialogProcOf(HWND, UINT, WPARAM, LPARAM);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  bool OnPaint();
  bool AskLoopParams(LoopParams& params) override;

  HICON m_icon;
  PlatformFileSystem m_fileSystem;
  MessageBoxReporter m_reporter;
  PageAllocator m_allocator;
  ConvertJob m_job;
  DropGuard m_drops;
  JobOutcome m_lastOutcome;
  HWND m_hwnd = nullptr;
};

}  // namespace loopsmith::win
