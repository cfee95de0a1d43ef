#include "shell/AppStyle.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

namespace AppStyle {

QString styleSheet()
{
    return QStringLiteral(R"(
QWidget { font-family: "Times New Roman"; color: #ffffff; }
QMainWindow, QStackedWidget, QScrollArea, #homeContent { background-color: #0f0b18; }

QLineEdit {
    background-color: #171123; border: 1px solid #2b174f; border-radius: 22px;
    padding: 10px 18px; color: #ffffff; font-size: 15px;
    selection-background-color: #7b2cff;
}
QLineEdit:focus { border: 1px solid #ff2ca8; }

QMessageBox { background-color: #171123; }
QMessageBox QLabel { color: #ffffff; font-size: 14px; }
QMessageBox QPushButton {
    background-color: #7b2cff; color: #ffffff; border: none; border-radius: 12px;
    padding: 8px 22px; min-width: 70px; font-weight: bold;
}
QMessageBox QPushButton:hover { background-color: #a78bfa; }
QMessageBox QPushButton:pressed { background-color: #ff2ca8; }

#loginCard {
    background-color: #171123; border: 1px solid #2b174f; border-radius: 26px;
}
#loginCard QPushButton#loginButton {
    background-color: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #7b2cff, stop:1 #ff2ca8);
    color: #ffffff; border: none; border-radius: 24px; font-size: 16px; font-weight: bold;
}
#loginCard QPushButton#loginButton:disabled { background-color: #2b174f; color: #c8a2ff; }
#loginCard QLabel { background: transparent; }
#symbolLabel { color: #ff72c6; font-size: 24px; }
#logoLabel { color: #ffffff; font-size: 24px; font-weight: bold; letter-spacing: 4px; }
#loginBadge {
    font-family: "Segoe UI Emoji"; font-size: 30px;
    background-color: #221638; border: 2px solid #7b2cff; border-radius: 32px;
}
#loginTitle { color: #ffffff; font-size: 26px; font-weight: bold; letter-spacing: 3px; }
#loginAccentBar { background-color: #7b2cff; border: none; border-radius: 1px; }
#loginSubtitle { color: #a78bfa; font-size: 15px; }
#loginFieldLabel { color: #c8a2ff; font-size: 12px; font-weight: bold; letter-spacing: 2px; padding-left: 8px; }
#loginCard QCheckBox { color: #c8a2ff; font-size: 13px; spacing: 8px; }
#loginCard QCheckBox::indicator {
    width: 16px; height: 16px; border: 1px solid #7b2cff; border-radius: 5px; background: #171123;
}
#loginCard QCheckBox::indicator:checked { background: #ff2ca8; border-color: #ff72c6; }
#loginRegisterText { color: #968da5; font-size: 13px; }
#loginCard QPushButton#registerButton {
    background: transparent; border: none; color: #f0abfc; font-size: 13px; font-weight: bold;
}
#loginCard QPushButton#registerButton:hover { color: #ff72c6; }

#navbar { background-color: #120d1d; border: none; border-bottom: 1px solid #2b174f; }
#navbarLogoSymbol { color: #ff72c6; font-size: 22px; }
#navbarLogoText { color: #ffffff; font-size: 22px; font-weight: bold; letter-spacing: 1px; }
#navbarLogoLine {
    background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #7b2cff, stop:1 #ff2ca8);
    border: none; border-radius: 1px;
}
QPushButton#navButton {
    background: transparent; border: none; border-radius: 14px;
    color: #e9e1ff; font-size: 15px; font-weight: bold; padding: 6px 16px;
}
QPushButton#navButton:hover { background-color: rgba(123, 44, 255, 0.35); color: #ffffff; }
QPushButton#navButton:pressed { background-color: #ff2ca8; }
QPushButton#profileButton {
    background-color: #2b174f; border: 2px solid #a78bfa; border-radius: 24px;
    color: #ffffff; font-size: 18px; font-weight: bold;
}
QPushButton#profileButton:hover { border-color: #ff72c6; }
QPushButton#navbarNotificationsButton {
    background: transparent; border: 1px solid transparent; border-radius: 19px;
    font-family: "Segoe UI Emoji"; font-size: 20px;
}
QPushButton#navbarNotificationsButton:hover { background-color: rgba(123, 44, 255, 0.35); border-color: #a78bfa; }
#navbarUsernameLabel { color: #ffffff; font-size: 14px; font-weight: bold; background: transparent; }
#navbarStatusLabel { color: #c8a2ff; font-size: 12px; background: transparent; }

#heroCard {
    background-color: #171123; border: 1px solid #2b174f; border-radius: 24px;
}
#homeWelcomeLabel { color: #ffffff; font-size: 34px; font-weight: bold; background: transparent; }
#homeHeartLabel { font-family: "Segoe UI Emoji"; font-size: 30px; background: transparent; }
#homeUsernameLabel { color: #ff72c6; font-size: 26px; font-weight: bold; letter-spacing: 2px; background: transparent; }
#homeSubtitle { color: #c8a2ff; font-size: 16px; background: transparent; }
#featuresTitle { color: #f0abfc; font-size: 24px; font-weight: bold; background: transparent; }

QPushButton#featureCard {
    background-color: #171123; border: 1px solid #2b174f; border-radius: 18px; text-align: center;
}
QPushButton#featureCard:hover { border-color: #7b2cff; background-color: #1c1430; }
#featureIcon { font-family: "Segoe UI Emoji"; font-size: 38px; background: transparent; }
#featureCardTitle { color: #ffffff; font-size: 20px; font-weight: bold; background: transparent; }
#featureCardDescription { color: #a78bfa; font-size: 14px; background: transparent; }

QScrollBar:vertical { background: transparent; width: 10px; margin: 0; }
QScrollBar::handle:vertical { background: #2b174f; border-radius: 5px; min-height: 30px; }
QScrollBar::handle:vertical:hover { background: #7b2cff; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QToolTip { background-color: #171123; color: #ffffff; border: 1px solid #7b2cff; padding: 4px; }
)");
}

void applyPalette(QWidget* window)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, QColor(0x0f, 0x0b, 0x18));
    palette.setColor(QPalette::Base, QColor(0x17, 0x11, 0x23));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x7b, 0x2c, 0xff));
    window->setPalette(palette);
    window->setFont(QFont(QStringLiteral("Times New Roman")));
}

}  // namespace AppStyle
