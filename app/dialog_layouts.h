#pragma once

namespace loopsmith {

// The two dialogs as they are drawn, in dialog units (x, y, width, height): a
// horizontal unit is a quarter of the dialog font's average character width,
// a vertical unit an eighth of its height. Every front end lays its windows
// out from these, in English (8-point Arial) or Japanese (9-point proportional
// gothic) as the system's language asks.
struct DluRect {
  int x, y, width, height;
};

// Control ids, as the dialog templates number them.
enum ControlId : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdTempoSlider = 1007,
  kIdTempoField = 1008,
  kIdTimeField = 1010,
  kIdFileNumberField = 1011,
  kIdFileNumberStepper = 1012,
  kIdMeasure1 = 1014,
  kIdMeasure2 = 1015,
  kIdMeasureOff = 1016,
};

inline constexpr int kMainDialogTemplate = 102;
inline constexpr int kLoopParamDialogTemplate = 130;

// The main window: one frame round three centred lines of text.
struct MainLayout {
  DluRect size, frame, instruction, copyright, title;
};

inline constexpr MainLayout kMainEnglish = {
    {0, 0, 167, 65}, {5, 0, 155, 60}, {15, 15, 139, 8}, {10, 40, 148, 8}, {10, 30, 148, 8}};
inline constexpr MainLayout kMainJapanese = {
    {0, 0, 159, 65}, {5, 0, 150, 60}, {15, 15, 129, 8}, {10, 41, 137, 8}, {10, 31, 137, 8}};

// The Loop Parameters dialog, controls in creation order.
struct LoopParamLayout {
  DluRect size, ok, cancel, slider, measure1, measure2, fileNumber, stepper, tempo, time, sec,
      measureGroup, bpmGroup, timeGroup, fileNumberGroup, measureOff;
};

inline constexpr LoopParamLayout kLoopParamEnglish = {
    {0, 0, 190, 98},  {80, 80, 50, 14},  {135, 80, 50, 14}, {10, 35, 68, 15},
    {95, 20, 20, 10}, {95, 30, 19, 10},  {15, 75, 30, 14},  {45, 75, 7, 14},
    {35, 20, 25, 12}, {141, 27, 25, 12}, {165, 40, 15, 8},  {90, 10, 40, 45},
    {5, 10, 80, 45},  {135, 10, 50, 45}, {5, 60, 50, 35},   {95, 40, 29, 10}};

inline constexpr LoopParamLayout kLoopParamJapanese = {
    {0, 0, 190, 115},  {80, 95, 50, 14},  {135, 95, 50, 14}, {10, 40, 68, 15},
    {100, 20, 20, 10}, {100, 35, 19, 10}, {17, 85, 25, 14},  {41, 85, 7, 14},
    {35, 20, 25, 12},  {140, 35, 25, 12}, {170, 40, 11, 8},  {90, 10, 40, 55},
    {5, 10, 80, 55},   {135, 10, 50, 55}, {5, 70, 50, 40},   {100, 50, 29, 10}};

// The texts the windows show.
inline constexpr const char* kMainTitle = "Loopsmith for TQ-58";
inline constexpr const char* kInstruction = "Please drop the \".WAV\" or \".T58\" file here.";
inline constexpr const char* kCopyright = "Copyright (C) 2026 Loopsmith";
inline constexpr const char* kLoopParamTitle = "Loop Parameters";

}  // namespace loopsmith
