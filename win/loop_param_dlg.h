#pragma once

#include <windows.h>

#include <cstdint>

#include "app/loop_param_model.h"
#include "core/loop_params.h"
#include "win/message_box.h"

namespace loopsmith::win {

// The modal "Loop Parameters" dialog on template 130: its controls bound to a
// LoopParamModel, which holds every rule; the choice is written through the
// three destinations only on OK.
class CLoopParamDlg {
 public:
  CLoopParamDlg(std::int16_t* tempo, MeasureMode* mode, std::uint8_t* fileNumber,
                MessageBoxReporter& reporter);

  // Runs the dialog over `owner`; IDOK or IDCANCEL.
  INT_PTR DoModal(HWND owner);
  // The dialog's window while it runs.
  HWND hwnd() const { return m_hwnd; }

 private:
  template <class Dialog>
  friend INT_PTR CALLBACK DialogProcOf(HWND, UINT, WPARAM, LPARAM);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnTempoScroll();
  void OnCommand(int id, int code);
  void OnOK();
  // Shows the model's state in the controls; the message it raised, if any,
  // follows as soon as the control that raised it is done.
  void Show();
  // Ends a mouse action of the slider before a box takes the mouse.
  void EndSliderAction();
  // Keeps the message the field or the stepper is handling in m_stepperInput.
  static LRESULT CALLBACK NoteStepperInput(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR self);

  LoopParamModel m_model;
  LoopParamDestinations m_destinations;
  MessageBoxReporter& m_reporter;
  HWND m_hwnd = nullptr;
  HWND m_previousOwner = nullptr;
  bool m_showing = false;   // field changes made here are not the user's edits
  UINT m_stepperInput = 0;  // the message the field or the stepper is handling
};

}  // namespace loopsmith::win
