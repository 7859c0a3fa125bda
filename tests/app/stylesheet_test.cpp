// What the style sheet must make visible: which choice of a pair of radio buttons is taken.
#include <QApplication>
#include <QButtonGroup>
#include <QColor>
#include <QImage>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

#include "startup.h"

namespace {

// The colour in the middle of a radio button's indicator, as drawn on screen.
QColor indicatorCentre(QRadioButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    const QRect indicator = button.style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, &button);
    const QImage image = button.grab().toImage();
    return image.pixelColor(indicator.center() * image.devicePixelRatio());
}

int lightness(const QColor& colour) {
    return colour.toHsl().lightness();
}

}  // namespace

class StyleSheetTest : public QObject {
    Q_OBJECT

private slots:
    void chosenRadioButtonStandsOut() {
        QVERIFY(installStyleSheet(*qApp, ":/files/style.css"));
        QWidget dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* open = new QRadioButton("Open");
        auto* close = new QRadioButton("Close");
        layout->addWidget(open);
        layout->addWidget(close);
        QButtonGroup group;
        group.addButton(open);
        group.addButton(close);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        for (QRadioButton* chosen : {open, close}) {
            chosen->setChecked(true);
            QRadioButton* other = chosen == open ? close : open;
            const QColor on = indicatorCentre(*chosen);
            const QColor off = indicatorCentre(*other);
            // The chosen indicator is filled with a bright colour, the other stays dark.
            QVERIFY2(on.toHsv().saturation() > 100 && lightness(on) > 80,
                     qPrintable(on.name() + " chosen, " + off.name() + " not"));
            QVERIFY2(lightness(off) < 80, qPrintable(off.name()));
        }
    }
};

QTEST_MAIN(StyleSheetTest)
#include "stylesheet_test.moc"
