// Resource numbers, shared by the resource script and the code (which checks
// them against the control ids every front end uses).
#pragma once

#define IDI_LOOPSMITH 128
#define IDD_MAIN 102
#define IDD_LOOP_PARAMS 130

#define IDC_TEMPO_SLIDER 1007
#define IDC_TEMPO 1008
#define IDC_TIME 1010
#define IDC_FILE_NUMBER 1011
#define IDC_FILE_NUMBER_STEPPER 1012
#define IDC_MEASURE_1 1014
#define IDC_MEASURE_2 1015
#define IDC_MEASURE_OFF 1016

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
