#include "win/loop_param_dlg.h"

#include <commctrl.h>

#include <utility>

#include "app/dialog_layouts.h"
#include "base/text.h"
#include "win/dialog_proc.h"
#include "win/resource.h"

namespace loopsmith::win {

static_assert(IDC_TEMPO_SLIDER == kIdTempoSlider && IDC_TEMPO == kIdTempoField &&
              IDC_TIME == kIdTimeField && IDC_FILE_NUMBER == kIdFileNumberField &&
              IDC_FILE_NUMBER_STEPPER == kIdFileNumberStepper && IDC_MEASURE_1 == kIdMeasure1 &&
              IDC_MEASURE_2 == kIdMeasure2 && IDC_MEASURE_OFF == kIdMeasureOff &&
              IDD_LOOP_PARAMS == kLoopParamDialogTemplate);

namespace {

// Carries a message the model raised, to be shown once the control that
// raised it has finished with its input (see Show).
constexpr UINT kReportMessage = WM_APP + 1;

// The stepper's own timers step it too: under wine, a key press starts one
// that, with the pointer resting over the control, steps it by -1 after the
// key is up. A step counts only from the wheel, or while the button or the
// arrow key of its direction is held.
bool UserIsStepping(int delta, UINT input) {
  return input == WM_MOUSEWHEEL || ::GetKeyState(VK_LBUTTON) < 0 ||
         ::GetKeyState(delta > 0 ? VK_UP : VK_DOWN) < 0;
}

std::string ItemText(HWND dialog, int id) {
  wchar_t text[64] = {};
  ::GetDlgItemTextW(dialog, id, text, 64);
  return Utf8(text);
}

void SetItemText(HWND dialog, int id, const std::string& text) {
  // Rewritten only when it differs, so the caret of a field being typed in stays.
  if (ItemText(dialog, id) != text) ::SetDlgItemTextW(dialog, id, Utf16(text).c_str());
}

}  // namespace

CLoopParamDlg::CLoopParamDlg(std::int16_t* tempo, MeasureMode* mode, std::uint8_t* fileNumber,
                             MessageBoxReporter& reporter)
    : m_destinations{tempo, mode, fileNumber}, m_reporter(reporter) {}

INT_PTR CLoopParamDlg::DoModal(HWND owner) {
  const INT_PTR result =
      ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LOOP_PARAMS), owner,
                        DialogProcOf<CLoopParamDlg>, reinterpret_cast<LPARAM>(this));
  m_reporter.setOwner(m_previousOwner);
  m_hwnd = nullptr;
  return result;
}

INT_PTR CLoopParamDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;  // the focus goes to the first tab stop
    case WM_HSCROLL:
      // Every notification of the slider, whatever its code.
      if (reinterpret_cast<HWND>(lParam) == ::GetDlgItem(m_hwnd, IDC_TEMPO_SLIDER)) OnTempoScroll();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom != IDC_FILE_NUMBER_STEPPER || header->code != UDN_DELTAPOS) return FALSE;
      // The model steps the number; the control itself changes nothing. A
      // delta of 0 (the control at its end) is no step at all.
      const auto* step = reinterpret_cast<const NMUPDOWN*>(lParam);
      if (step->iDelta != 0 && UserIsStepping(step->iDelta, m_stepperInput)) {
        m_model.OnFileNumberStep(step->iDelta > 0 ? 1 : -1);
        Show();
      }
      ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    case kReportMessage:
      EndSliderAction();
      m_reporter.Report(Failure{static_cast<MessageId>(wParam), 0, {}});
      return TRUE;
    case WM_HELP:
      return TRUE;  // no help
    default:
      return FALSE;
  }
}

void CLoopParamDlg::OnInitDialog() {
  m_previousOwner = m_reporter.setOwner(m_hwnd);
  const HWND slider = ::GetDlgItem(m_hwnd, IDC_TEMPO_SLIDER);
  ::SendMessageW(slider, TBM_SETRANGEMIN, FALSE, kMinBpm);
  ::SendMessageW(slider, TBM_SETRANGEMAX, FALSE, kMaxBpm);
  ::SendMessageW(::GetDlgItem(m_hwnd, IDC_FILE_NUMBER_STEPPER), UDM_SETRANGE32, kMinFileNumber,
                 kMaxFileNumber);
  // The stepper is worked through the field too (keys, wheel).
  for (const int id : {IDC_FILE_NUMBER, IDC_FILE_NUMBER_STEPPER}) {
    ::SetWindowSubclass(::GetDlgItem(m_hwnd, id), NoteStepperInput, 0,
                        reinterpret_cast<DWORD_PTR>(this));
  }
  Show();
}

LRESULT CALLBACK CLoopParamDlg::NoteStepperInput(HWND control, UINT message, WPARAM wParam,
                                                 LPARAM lParam, UINT_PTR id, DWORD_PTR self) {
  UINT& input = reinterpret_cast<CLoopParamDlg*>(self)->m_stepperInput;
  const UINT outer = std::exchange(input, message);
  const LRESULT result = ::DefSubclassProc(control, message, wParam, lParam);
  input = outer;
  if (message == WM_NCDESTROY) ::RemoveWindowSubclass(control, NoteStepperInput, id);
  return result;
}

void CLoopParamDlg::OnTempoScroll() {
  const auto position = ::SendMessageW(::GetDlgItem(m_hwnd, IDC_TEMPO_SLIDER), TBM_GETPOS, 0, 0);
  m_model.OnTempoScroll(static_cast<int>(position));
  Show();
}

void CLoopParamDlg::OnCommand(int id, int code) {
  switch (id) {
    case IDC_MEASURE_1:
    case IDC_MEASURE_2:
    case IDC_MEASURE_OFF:
      if (code != BN_CLICKED) return;
      m_model.OnMeasure(id == IDC_MEASURE_1   ? kMeasureOne
                        : id == IDC_MEASURE_2 ? kMeasureTwo
                                              : kMeasureOff);
      Show();
      return;
    case IDC_FILE_NUMBER:
      if (code == EN_CHANGE && !m_showing) {
        m_model.OnFileNumberEdited(ItemText(m_hwnd, IDC_FILE_NUMBER));
      }
      return;
    case IDOK:
      OnOK();
      return;
    case IDCANCEL:
      m_model.OnCancel();
      ::EndDialog(m_hwnd, IDCANCEL);
      return;
    default:
      return;
  }
}

void CLoopParamDlg::OnOK() {
  const bool ends = AcceptLoopParams(m_model, m_destinations);
  Show();
  if (!ends) return;  // stays open with 1 in the field
  ::EndDialog(m_hwnd, IDOK);
}

void CLoopParamDlg::Show() {
  m_showing = true;
  ::SendMessageW(::GetDlgItem(m_hwnd, IDC_TEMPO_SLIDER), TBM_SETPOS, TRUE,
                 m_model.sliderPosition());
  const MeasureMode mode = m_model.GetMeasureMode();
  ::CheckRadioButton(m_hwnd, IDC_MEASURE_1, IDC_MEASURE_OFF,
                     mode == kMeasureOne   ? IDC_MEASURE_1
                     : mode == kMeasureTwo ? IDC_MEASURE_2
                                           : IDC_MEASURE_OFF);
  SetItemText(m_hwnd, IDC_TEMPO, m_model.tempoText());
  SetItemText(m_hwnd, IDC_TIME, m_model.timeText());
  SetItemText(m_hwnd, IDC_FILE_NUMBER, m_model.fileNumberText());
  // The control's own position follows the field, so that it never steps
  // from a number the user no longer sees.
  ::SendMessageW(::GetDlgItem(m_hwnd, IDC_FILE_NUMBER_STEPPER), UDM_SETPOS32, 0,
                 m_model.stepperPosition());
  m_showing = false;
  const auto message = m_model.TakeMessage();
  if (!message) return;
  // Not shown from inside the control's notification: a press on the slider's
  // track may take the mouse before its first page or after it, and the box's
  // own loop would run while the press goes on paging. Once the notification
  // has returned the press holds the mouse whichever way, and is ended first.
  ::PostMessageW(m_hwnd, kReportMessage, static_cast<WPARAM>(*message), 0);
}

void CLoopParamDlg::EndSliderAction() {
  // A press on the track pages on a timer while the slider holds the mouse;
  // the box would take the release, and the paging would go on after it. The
  // release is given to the slider now, as if the button had come up.
  const HWND slider = ::GetDlgItem(m_hwnd, IDC_TEMPO_SLIDER);
  if (::GetCapture() != slider) return;
  POINT cursor{};
  ::GetCursorPos(&cursor);
  ::ScreenToClient(slider, &cursor);
  ::SendMessageW(slider, WM_LBUTTONUP, 0, MAKELPARAM(cursor.x, cursor.y));
  if (::GetCapture() == slider) ::ReleaseCapture();
}

}  // namespace loopsmith::win
