#pragma once

#include <QFont>
#include <QRect>

#include "app/dialog_layouts.h"

namespace loopsmith::ui {

// Dialog units to pixels for one font: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height, so
// the windows keep their proportions whatever the font and screen.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  QRect ToPixels(const DluRect& rect) const;
  int X(int units) const;
  int Y(int units) const;

 private:
  int m_baseX;
  int m_baseY;
};

// A frame whose caption sits on its top line, half the font's height down,
// as the layouts were drawn for; the controls placed inside then clear it.
QString GroupBoxStyle();

// English or Japanese, chosen once from the system locale.
bool UseJapaneseLayout();
// The dialogs' face: 8-point Arial, or a 9-point Japanese proportional gothic.
QFont DialogFont();

}  // namespace loopsmith::ui
