// The common look of the two settings dialogs.
#pragma once

#include <QStringList>

class QComboBox;
class QDialog;
class QLabel;
class QWidget;

// Fixed client size, title bar with system menu, minimise and close buttons.
void SetUpDialog(QDialog* dialog, const char* caption, int width, int height);
// Bold teal 8-point label at the given rectangle.
QLabel* DialogLabel(QWidget* parent, const char* text, int left, int top, int width, int height,
                    bool wordWrap = false);
// A choice-only drop-down list in a 10-point font with 16-pixel items.
QComboBox* DialogList(QWidget* parent, const QStringList& items, int left, int top, int width,
                      int height);
