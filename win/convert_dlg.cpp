#include "win/convert_dlg.h"

#include <shellapi.h>

#include <vector>

#include "app/dialog_layouts.h"
#include "base/text.h"
#include "win/dialog_proc.h"
#include "win/loop_param_dlg.h"
#include "win/resource.h"

namespace loopsmith::win {

static_assert(IDD_MAIN == kMainDialogTemplate);

CConvertDlg::CConvertDlg()
    : m_icon(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                             MAKEINTRESOURCEW(IDI_LOOPSMITH), IMAGE_ICON, 0, 0,
                                             LR_DEFAULTSIZE))),
      m_job(m_fileSystem, m_reporter, *this, m_allocator) {}

CConvertDlg::~CConvertDlg() {
  if (m_hwnd != nullptr) ::DestroyWindow(m_hwnd);
  if (m_icon != nullptr) ::DestroyIcon(m_icon);
}

INT_PTR CConvertDlg::DoModal() {
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                           DialogProcOf<CConvertDlg>, reinterpret_cast<LPARAM>(this));
}

HWND CConvertDlg::Create() {
  return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                              DialogProcOf<CConvertDlg>, reinterpret_cast<LPARAM>(this));
}

INT_PTR CConvertDlg::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return TRUE;
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(m_icon));
      return TRUE;
    case WM_HELP:
      return TRUE;  // no help
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(m_hwnd, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      m_hwnd = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void CConvertDlg::OnInitDialog() {
  m_reporter.setOwner(m_hwnd);
  // The large icon only, as the window has always had it.
  ::SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
}

bool CConvertDlg::OnPaint() {
  if (!::IsIconic(m_hwnd)) return false;  // the dialog manager paints the rest
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hwnd, &paint);
  ::SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(m_hwnd, &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, m_icon);
  ::EndPaint(m_hwnd, &paint);
  return true;
}

JobOutcome CConvertDlg::OnDropFiles(HDROP drop) {
  // The job runs modal loops of its own; a drop that arrives meanwhile is not taken.
  if (!m_drops.Begin()) {
    ::DragFinish(drop);
    return {};
  }
  // The whole path, however long, and in any script: its length is asked first.
  const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
  std::vector<wchar_t> path(length + 1);
  ::DragQueryFileW(drop, 0, path.data(), length + 1);
  m_lastOutcome = m_job.Run(Utf8(std::wstring(path.data(), length)));
  ::DragFinish(drop);
  m_drops.End();
  return m_lastOutcome;
}

bool CConvertDlg::AskLoopParams(LoopParams& params) {
  // Always opens with 120 BPM, one measure, file number 1; nothing is remembered.
  CLoopParamDlg dialog(&params.tempo, &params.measureMode, &params.fileNumber, m_reporter);
  return dialog.DoModal(m_hwnd) == IDOK;
}

}  // namespace loopsmith::win
