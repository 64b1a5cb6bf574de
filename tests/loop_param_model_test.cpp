// The Loop Parameters dialog's rules, without a toolkit: each row is a
// sequence of events and the state it must leave.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/loop_param_model.h"

namespace loopsmith {
namespace {

using Ending = LoopParamModel::Ending;

// One event: 's' slider action at `value`, 'm' measure `value`, 't' typed
// `text`, '+'/'-' stepper, 'o' OK, 'c' Cancel.
struct Event {
  char kind;
  int value = 0;
  const char* text = "";
};

struct Case {
  const char* name;
  std::vector<Event> events;
  const char* tempo;
  const char* time;
  const char* fileNumber;
  int messages;  // how many "File number error" boxes the events raised
  Ending ending;
  LoopParams handedBack;  // only compared once the dialog ended with OK
};

const Case kCases[] = {
    {"opens with the defaults", {}, "120", "2", "1", 0, Ending::kOpen, {}},
    {"OK at once", {{'o'}}, "120", "2", "1", 0, Ending::kOk, {1200, 1, 1}},
    {"slider at 40", {{'s', 40}, {'o'}}, "40", "6", "1", 0, Ending::kOk, {400, 1, 1}},
    {"slider at 240", {{'s', 240}, {'o'}}, "240", "1", "1", 0, Ending::kOk, {2400, 1, 1}},
    {"140, one measure", {{'s', 140}}, "140", "1.714", "1", 0, Ending::kOpen, {}},
    {"90, one measure", {{'s', 90}}, "90", "2.666", "1", 0, Ending::kOpen, {}},
    {"81, two measures", {{'m', 2}, {'s', 81}}, "81", "5.925", "1", 0, Ending::kOpen, {}},
    {"40, two measures", {{'s', 40}, {'m', 2}}, "40", "12", "1", 0, Ending::kOpen, {}},
    {"OFF at any tempo",
     {{'s', 200}, {'m', 0}, {'o'}},
     "200",
     "6",
     "1",
     0,
     Ending::kOk,
     {2000, 0, 1}},
    {"OFF, then two", {{'m', 0}, {'m', 2}}, "120", "4", "1", 0, Ending::kOpen, {}},
    {"50 is taken", {{'t', 0, "50"}, {'o'}}, "120", "2", "50", 0, Ending::kOk, {1200, 1, 50}},
    {"07 becomes 7", {{'t', 0, "07"}, {'o'}}, "120", "2", "7", 0, Ending::kOk, {1200, 1, 7}},
    {"51 on OK stays open", {{'t', 0, "51"}, {'o'}}, "120", "2", "1", 1, Ending::kOpen, {}},
    {"0, then OK twice",
     {{'t', 0, "0"}, {'o'}, {'o'}},
     "120",
     "2",
     "1",
     1,
     Ending::kOk,
     {1200, 1, 1}},
    {"empty on OK", {{'t', 0, ""}, {'o'}}, "120", "2", "1", 1, Ending::kOpen, {}},
    {"huge on OK", {{'t', 0, "99999999999"}, {'o'}}, "120", "2", "1", 1, Ending::kOpen, {}},
    {"99, then a slider action",
     {{'t', 0, "99"}, {'s', 121}, {'s', 122}},
     "122",
     "1.967",
     "1",
     1,
     Ending::kOpen,
     {}},
    {"99, slider action that stays at 40",
     {{'s', 40}, {'t', 0, "99"}, {'s', 40}},
     "40",
     "6",
     "1",
     1,
     Ending::kOpen,
     {}},
    {"99, then a measure click", {{'t', 0, "99"}, {'m', 2}}, "120", "4", "1", 1, Ending::kOpen, {}},
    {"stepper stops at 1", {{'-'}, {'-'}}, "120", "2", "1", 0, Ending::kOpen, {}},
    {"stepper stops at 50", {{'t', 0, "49"}, {'+'}, {'+'}}, "120", "2", "50", 0, Ending::kOpen, {}},
    {"stepper from bad text starts at the last good",
     {{'t', 0, "7"}, {'+'}, {'t', 0, "x"}, {'+'}},
     "120",
     "2",
     "9",
     0,
     Ending::kOpen,
     {}},
    {"Cancel", {{'s', 200}, {'c'}, {'o'}}, "200", "1.2", "1", 0, Ending::kCancel, {}},
};

TEST(LoopParamModel, EventSequences) {
  for (const Case& c : kCases) {
    LoopParamModel model;
    int messages = 0;
    for (const Event& e : c.events) {
      switch (e.kind) {
        case 's':
          model.OnTempoScroll(e.value);
          break;
        case 'm':
          model.OnMeasure(static_cast<MeasureMode>(e.value));
          break;
        case 't':
          model.OnFileNumberEdited(e.text);
          break;
        case '+':
          model.OnFileNumberStep(1);
          break;
        case '-':
          model.OnFileNumberStep(-1);
          break;
        case 'o':
          model.OnOK();
          break;
        case 'c':
          model.OnCancel();
          break;
        default:
          FAIL() << e.kind;
      }
      if (const auto message = model.TakeMessage()) {
        EXPECT_EQ(*message, MessageId::kFileNumberError) << c.name;
        ++messages;
      }
    }
    EXPECT_EQ(model.tempoText(), c.tempo) << c.name;
    EXPECT_EQ(model.timeText(), c.time) << c.name;
    EXPECT_EQ(model.fileNumberText(), c.fileNumber) << c.name;
    EXPECT_EQ(messages, c.messages) << c.name;
    EXPECT_EQ(model.ending(), c.ending) << c.name;
    if (c.ending == Ending::kOk) {
      EXPECT_EQ(model.handedBack().tempo, c.handedBack.tempo) << c.name;
      EXPECT_EQ(model.handedBack().measureMode, c.handedBack.measureMode) << c.name;
      EXPECT_EQ(model.handedBack().fileNumber, c.handedBack.fileNumber) << c.name;
    }
  }
}

}  // namespace
}  // namespace loopsmith
