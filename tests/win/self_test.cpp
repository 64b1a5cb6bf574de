// The Win32 windows driven as the system would drive them: a real drop handle
// with a Unicode name, messages to the Loop Parameters dialog while its modal
// loop runs, the file-number box and its owner, and the bytes written.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/dialog_layouts.h"
#include "base/text.h"
#include "base/windows_file_system.h"
#include "fixed_answer.h"
#include "recording_reporter.h"
#include "shell_drop.h"
#include "temp_dir.h"
#include "wav_builder.h"
#include "win/convert_dlg.h"
#include "win/resource.h"

namespace loopsmith {
namespace {

using testing::MakeDrop;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

struct Shown {
  HWND owner;
  std::wstring caption;
  std::wstring text;
};

std::wstring Text(HWND dialog, int id) {
  wchar_t text[64] = {};
  ::GetDlgItemTextW(dialog, id, text, 64);
  return text;
}

// A control's rectangle in the dialog's client area, against the layout's.
void ExpectAt(HWND dialog, int id, const DluRect& expected) {
  // Position and size are converted each on its own, as the dialog manager does.
  RECT want{expected.x, expected.y, expected.width, expected.height};
  ::MapDialogRect(dialog, &want);
  RECT have;
  ::GetWindowRect(::GetDlgItem(dialog, id), &have);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&have), 2);
  EXPECT_EQ(have.left, want.left) << id;
  EXPECT_EQ(have.top, want.top) << id;
  EXPECT_EQ(have.right - have.left, want.right) << id;
}

// Handles what is waiting in the queue, as the modal loop would next.
void Pump() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
}

// The thread's view of one key or button, held or not.
void Hold(int key, bool down) {
  BYTE keys[256];
  ::GetKeyboardState(keys);
  keys[key] = down ? 0x80 : 0;
  ::SetKeyboardState(keys);
}

// Runs `act` on the Loop Parameters dialog once its modal loop has started.
std::function<void(HWND)> g_act;
void CALLBACK WhenDialogOpens(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ::FindWindowW(nullptr, L"Loop Parameters");
  if (dialog == nullptr || !g_act) return;
  ::KillTimer(nullptr, timer);
  auto act = std::move(g_act);
  act(dialog);
}

class WinSelfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&controls);
    ASSERT_NE(window.Create(), nullptr);
    window.reporter().setPresenter(
        [this](HWND owner, const std::wstring& caption, const std::wstring& text) {
          shown.push_back({owner, caption, text});
        });
  }
  JobOutcome Drop(const std::string& name) {
    const HDROP drop = MakeDrop(testing::FsPath(dir.Path(name)).wstring());
    ::SendMessageW(window.hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    return window.lastOutcome();
  }

  TempDir dir;
  win::CConvertDlg window;
  std::vector<Shown> shown;
};

TEST_F(WinSelfTest, TheMainWindowIsDrawnInDialogUnits) {
  wchar_t caption[64];
  ::GetWindowTextW(window.hwnd(), caption, 64);
  EXPECT_STREQ(caption, L"Loopsmith for TQ-58");
  EXPECT_TRUE(::GetWindowLongW(window.hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  // The resource script's texts are the ones every front end shows.
  std::vector<std::string> texts;
  for (HWND child = ::GetWindow(window.hwnd(), GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t text[128] = {};
    ::GetWindowTextW(child, text, 128);
    texts.push_back(Utf8(text));
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"", kInstruction, kCopyright, kMainTitle}));
  const bool japanese = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
  const MainLayout& layout = japanese ? kMainJapanese : kMainEnglish;
  RECT want{0, 0, layout.size.width, layout.size.height};
  ::MapDialogRect(window.hwnd(), &want);
  RECT client;
  ::GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, want.right);
  EXPECT_EQ(client.bottom, want.bottom);
}

TEST_F(WinSelfTest, ADropWithAUnicodeNameGoesThroughTheDialog) {
  const std::string name = "ドラム ♫.wav";
  std::vector<std::int16_t> samples(20'000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(i * 7);
  WriteBytes(dir.Path(name), testing::SimpleWave(2, samples));
  HWND seen = nullptr;
  g_act = [&](HWND dialog) {
    seen = dialog;
    const bool japanese = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
    const LoopParamLayout& layout = japanese ? kLoopParamJapanese : kLoopParamEnglish;
    ExpectAt(dialog, IDOK, layout.ok);
    ExpectAt(dialog, IDCANCEL, layout.cancel);
    ExpectAt(dialog, IDC_TEMPO_SLIDER, layout.slider);
    ExpectAt(dialog, IDC_TIME, layout.time);
    ExpectAt(dialog, IDC_MEASURE_OFF, layout.measureOff);
    HWND slider = ::GetDlgItem(dialog, IDC_TEMPO_SLIDER);
    EXPECT_EQ(::SendMessageW(slider, TBM_GETRANGEMIN, 0, 0), 40);
    EXPECT_EQ(::SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), 240);
    EXPECT_EQ(Text(dialog, IDC_TEMPO), L"120");
    EXPECT_EQ(Text(dialog, IDC_TIME), L"2");
    EXPECT_EQ(Text(dialog, IDC_FILE_NUMBER), L"1");
    EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_MEASURE_1), BST_CHECKED);
    // The slider to 90, two measures.
    ::SendMessageW(slider, TBM_SETPOS, TRUE, 90);
    ::SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 90),
                   reinterpret_cast<LPARAM>(slider));
    EXPECT_EQ(Text(dialog, IDC_TIME), L"2.666");
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_MEASURE_2, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDC_MEASURE_2)));
    EXPECT_EQ(Text(dialog, IDC_TIME), L"5.333");
    EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_MEASURE_1), BST_UNCHECKED);
    // 99, then the end of a slider action that moved nothing: the box, over the dialog.
    ::SetDlgItemTextW(dialog, IDC_FILE_NUMBER, L"99");
    ::SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                   reinterpret_cast<LPARAM>(slider));
    EXPECT_EQ(Text(dialog, IDC_FILE_NUMBER), L"1");
    Pump();
    EXPECT_EQ(shown.size(), 1u);
    // 99, then a real press on the track right of the thumb: one page, the
    // box, and the press is over, so no paging goes on after it.
    ::SetDlgItemTextW(dialog, IDC_FILE_NUMBER, L"99");
    RECT channel{};
    RECT thumb{};
    ::SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    ::SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    ::SendMessageW(slider, WM_LBUTTONDOWN, MK_LBUTTON,
                   MAKELPARAM(channel.right - 2, (thumb.top + thumb.bottom) / 2));
    const LRESULT paged = ::SendMessageW(slider, TBM_GETPOS, 0, 0);
    EXPECT_GT(paged, 90);
    Pump();
    EXPECT_EQ(shown.size(), 2u);
    for (const DWORD until = ::GetTickCount() + 700; ::GetTickCount() < until;) {
      Pump();
      ::Sleep(10);
    }
    EXPECT_NE(::GetCapture(), slider);
    EXPECT_EQ(::SendMessageW(slider, TBM_GETPOS, 0, 0), paged);
    // The slider back to 90, for the bytes compared below.
    ::SendMessageW(slider, TBM_SETPOS, TRUE, 90);
    ::SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 90),
                   reinterpret_cast<LPARAM>(slider));
    // The stepper stops at either end, whatever delta the control reports,
    // and takes a step only while the button or the arrow key of its
    // direction is held: the control's own timers step it too.
    const struct {
      const wchar_t* field;
      int delta;
      int held;
      const wchar_t* shows;
    } steps[] = {{L"50", 1, VK_LBUTTON, L"50"},  {L"50", 0, VK_LBUTTON, L"50"},
                 {L"50", -1, VK_LBUTTON, L"49"}, {L"1", -1, VK_DOWN, L"1"},
                 {L"1", 0, VK_UP, L"1"},         {L"1", 1, VK_UP, L"2"},
                 {L"50", -1, 0, L"50"},          {L"1", 1, VK_DOWN, L"1"}};
    for (const auto& step : steps) {
      ::SetDlgItemTextW(dialog, IDC_FILE_NUMBER, step.field);
      NMUPDOWN notice{
          {::GetDlgItem(dialog, IDC_FILE_NUMBER_STEPPER), IDC_FILE_NUMBER_STEPPER, UDN_DELTAPOS},
          0,
          step.delta};
      if (step.held != 0) Hold(step.held, true);
      ::SendMessageW(dialog, WM_NOTIFY, IDC_FILE_NUMBER_STEPPER, reinterpret_cast<LPARAM>(&notice));
      if (step.held != 0) Hold(step.held, false);
      EXPECT_EQ(Text(dialog, IDC_FILE_NUMBER), step.shows) << step.field << " " << step.delta;
    }
    // The wheel over the field steps it, with nothing held.
    ::SetDlgItemTextW(dialog, IDC_FILE_NUMBER, L"5");
    ::SendMessageW(::GetDlgItem(dialog, IDC_FILE_NUMBER), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA),
                   0);
    EXPECT_EQ(Text(dialog, IDC_FILE_NUMBER), L"6");
    // The stepper's up arrow, then OK.
    NMUPDOWN step{
        {::GetDlgItem(dialog, IDC_FILE_NUMBER_STEPPER), IDC_FILE_NUMBER_STEPPER, UDN_DELTAPOS},
        1,
        1};
    Hold(VK_LBUTTON, true);
    ::SendMessageW(dialog, WM_NOTIFY, IDC_FILE_NUMBER_STEPPER, reinterpret_cast<LPARAM>(&step));
    Hold(VK_LBUTTON, false);
    ::SetDlgItemTextW(dialog, IDC_FILE_NUMBER, L"7");
    ::SendMessageW(dialog, WM_COMMAND, IDOK, 0);
  };
  ::SetTimer(nullptr, 0, 10, WhenDialogOpens);
  const JobOutcome outcome = Drop(name);

  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, L"File number error");
  EXPECT_EQ(shown[0].owner, seen);
  EXPECT_EQ(shown[0].caption, L"win_self_test");
  EXPECT_EQ(outcome.output, dir.Path("L07.T58"));
  // The same bytes as the job writes with the same answers.
  WriteBytes(dir.Path("copy.wav"), testing::SimpleWave(2, samples));
  PlatformFileSystem files;
  testing::RecordingReporter quiet;
  testing::FixedAnswer answer{LoopParams{900, 2, 8}};
  PageAllocator heap;
  ConvertJob(files, quiet, answer, heap).Run(dir.Path("copy.wav"));
  EXPECT_EQ(ReadBytes(dir.Path("L07.T58")), ReadBytes(dir.Path("L08.T58")));
  EXPECT_EQ(ReadBytes(dir.Path("L07.T58")).size(), 524'344u);
}

TEST_F(WinSelfTest, ABadFileIsReportedOverTheMainWindow) {
  WriteBytes(dir.Path("bad.wav"), {'R', 'I', 'F', 'F'});
  EXPECT_FALSE(Drop("bad.wav").Converted());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, L"Wave file read error #2");
  EXPECT_EQ(shown[0].owner, window.hwnd());
}

}  // namespace
}  // namespace loopsmith
