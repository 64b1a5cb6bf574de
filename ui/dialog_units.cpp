#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QLocale>

namespace loopsmith::ui {

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  // The average width of the alphabet, rounded, as the dialog manager measures it.
  m_baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
  m_baseY = metrics.height();
}

int DialogUnits::X(int units) const { return (units * m_baseX + 2) / 4; }

int DialogUnits::Y(int units) const { return (units * m_baseY + 4) / 8; }

QRect DialogUnits::ToPixels(const DluRect& rect) const {
  const int left = X(rect.x);
  const int top = Y(rect.y);
  return {left, top, X(rect.x + rect.width) - left, Y(rect.y + rect.height) - top};
}

QString GroupBoxStyle() {
  return QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 0.5em; padding: 0 0.2em; }");
}

bool UseJapaneseLayout() { return QLocale::system().language() == QLocale::Japanese; }

QFont DialogFont() {
  QFont font;
  if (UseJapaneseLayout()) {
    font.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic")});
    font.setPointSize(9);
  } else {
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSize(8);
  }
  return font;
}

}  // namespace loopsmith::ui
