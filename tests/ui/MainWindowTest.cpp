// The main window at start: layout, texts, hidden controls, owned objects.
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "EntryEdit.h"
#include "Ob_TModBCl.h"
#include "StringGrid.h"
#include "UiTestApp.h"
#include "obrNastr.h"
#include "obrport.h"

namespace {

using MainWindow = WindowTest;

void ExpectAt(const QWidget* widget, int left, int top, const char* name) {
  EXPECT_EQ(widget->pos(), QPoint(left, top)) << name;
  EXPECT_EQ(widget->parentWidget(), Form1) << name;
}

TEST_F(MainWindow, WindowIsFixedSizeWithoutMaximise) {
  EXPECT_EQ(Form().windowTitle(), QString::fromUtf8("Тест работы по протоколу MODBUS"));
  EXPECT_EQ(Form().size(), QSize(652, 615));
  EXPECT_EQ(Form().minimumSize(), QSize(652, 615));
  EXPECT_EQ(Form().maximumSize(), QSize(652, 615));
  const Qt::WindowFlags flags = Form().windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_DOUBLE_EQ(Form().font().pointSizeF(), 8.0);
  EXPECT_EQ(Form().font().families().value(0), "MS Sans Serif");
  Form().resize(800, 700);
  EXPECT_EQ(Form().size(), QSize(652, 615));
}

TEST_F(MainWindow, EveryControlWhereTheLayoutPutsItWithItsText) {
  TForm1& f = Form();
  struct Labelled {
    const QLabel* label;
    const char* text;
    int left, top;
    bool bold;
    QColor colour;
  };
  const QColor teal(0, 128, 128), red(255, 0, 0);
  for (const Labelled& l : {Labelled{f.Label2, "Устр. №", 8, 18, true, teal},
                            Labelled{f.Label3, "Принято", 144, 64, true, teal},
                            Labelled{f.Label8, "Запрос", 392, 18, true, red},
                            Labelled{f.Label4, "Данные", 390, 64, true, teal},
                            Labelled{f.Label7, "блок.", 488, 112, true, teal},
                            Labelled{f.Label9, "Выбрана ячейка:", 520, 392, true, teal},
                            Labelled{f.Label10, "Текст", 520, 464, true, teal},
                            Labelled{f.LabelCikl, "Зациклен запрос", 528, 40, false, red}}) {
    EXPECT_EQ(l.label->text(), QString::fromUtf8(l.text));
    ExpectAt(l.label, l.left, l.top, l.text);
    EXPECT_EQ(l.label->font().bold(), l.bold) << l.text;
    EXPECT_EQ(l.label->palette().color(QPalette::WindowText), l.colour) << l.text;
  }
  EXPECT_EQ(f.Label9->size(), QSize(110, 41));
  EXPECT_EQ(f.Label10->size(), QSize(110, 49));
  EXPECT_EQ(f.LabelCikl->size(), QSize(112, 12));
  EXPECT_TRUE(f.LabelCikl->wordWrap());
  EXPECT_TRUE(f.LabelCikl->alignment() & Qt::AlignHCenter);

  struct Button {
    const QPushButton* button;
    const char* text;
    int left, top;
  };
  for (const Button& b : {Button{f.Button1, "Пуск", 480, 14}, Button{f.Button2, "Настройка порта", 132, 14},
                          Button{f.Button3, "Цикл", 552, 14}, Button{f.Button6, "Настройка обмена", 246, 14},
                          Button{f.BKvit, "квит.", 480, 88}, Button{f.BSbros, "сброс", 552, 88},
                          Button{f.Button4, "Заполнить таблицу", 520, 256},
                          Button{f.Button5, "Очистить таблицу", 520, 296}}) {
    EXPECT_EQ(b.button->text(), QString::fromUtf8(b.text));
    ExpectAt(b.button, b.left, b.top, b.text);
    EXPECT_FALSE(b.button->isDefault()) << b.text;  // Enter and Escape reach the focused control
  }

  ExpectAt(f.CBoxUstr, 64, 14, "CBoxUstr");
  EXPECT_EQ(f.CBoxUstr->width(), 57);
  ASSERT_EQ(f.CBoxUstr->count(), 31);
  for (int i = 0; i < 31; ++i) EXPECT_EQ(f.CBoxUstr->itemText(i), QString::number(i + 1));
  EXPECT_FALSE(f.CBoxUstr->isEditable());

  ExpectAt(f.EditZapr, 446, 14, "EditZapr");
  EXPECT_EQ(f.EditZapr->width(), 25);
  EXPECT_EQ(f.EditZapr->maxLength(), 3);
  EXPECT_DOUBLE_EQ(f.EditZapr->font().pointSizeF(), 6.0);
  EXPECT_EQ(f.EditZapr->toolTip(), QString::fromUtf8("ввод номера запроса"));
  ExpectAt(f.EditDat1, 386, 88, "EditDat1");
  ExpectAt(f.EditDat2, 386, 116, "EditDat2");

  const int lefts[5] = {8, 80, 152, 224, 296};
  const int tops[4] = {88, 120, 152, 184};
  for (int n = 1; n <= 20; ++n) {
    const TEntryEdit* edit = f.Edit(n);
    ExpectAt(edit, lefts[(n - 1) % 5], tops[(n - 1) / 5], "Edit");
    EXPECT_EQ(edit->width(), 57) << n;
    EXPECT_EQ(edit->palette().color(QPalette::Text), red) << n;
    EXPECT_EQ(BaseColour(edit), QPalette().color(QPalette::ToolTipBase)) << n;
  }

  ExpectAt(f.StringGrid1, 1, 232, "StringGrid1");
  EXPECT_EQ(f.StringGrid1->size(), QSize(506, 382));
  EXPECT_EQ(f.StringGrid1->columnCount(), 16);
  EXPECT_EQ(f.StringGrid1->rowCount(), 17);
  EXPECT_EQ(BaseColour(f.StringGrid1), QColor(Qt::white));
  EXPECT_TRUE(f.StringGrid1->tabKeyNavigation());
  EXPECT_EQ(f.StringGrid1->selectionMode(), QAbstractItemView::ContiguousSelection);
  // The whole grid is visible: no scrolling needed for any cell.
  const QRect last = f.StringGrid1->visualItemRect(f.StringGrid1->item(16, 15));
  EXPECT_TRUE(f.StringGrid1->viewport()->rect().contains(last)) << last.x() << "," << last.y();

  ExpectAt(f.SPBloc, 560, 112, "SPBloc");
  EXPECT_EQ(f.SPBloc->size(), QSize(28, 17));
  EXPECT_TRUE(f.SPBloc->isCheckable());
  EXPECT_FALSE(f.SPBloc->isChecked());
  EXPECT_EQ(f.SPBloc->toolTip(), QString::fromUtf8("Кнопка вкл блокировки"));
}

// Red text pixels of what `widget` shows.
int RedInk(QWidget* widget) {
  const QImage image = widget->grab().toImage();
  int ink = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      ink += c.alpha() > 0 && c.red() > c.green() + 60 && c.red() > c.blue() + 60;
    }
  return ink;
}

// Red text pixels of `label`'s text drawn with its own font in a box of
// its width and `height`.
int InkUnclipped(const QLabel* label, int height) {
  QLabel roomy(label->text());
  roomy.setFont(label->font());
  roomy.setPalette(label->palette());
  roomy.setAlignment(label->alignment());
  roomy.setWordWrap(label->wordWrap());
  roomy.resize(label->width(), height);
  return RedInk(&roomy);
}

// "Зациклен запрос" shows whole in its 112 x 12 label, descenders included,
// whatever face and size the machine gives the window's font: the text is
// compared with the same text in the label's font given room to spare.
TEST_F(MainWindow, TheCycleLabelShowsAllOfItsText) {
  QLabel* label = Form().LabelCikl;
  QTest::mouseClick(Form().Button3, Qt::LeftButton);
  ASSERT_TRUE(label->isVisible());
  const auto expectWhole = [&](const std::string& face) {
    EXPECT_EQ(label->geometry(), QRect(528, 40, 112, 12)) << face;
    const int whole = InkUnclipped(label, 60);
    EXPECT_EQ(RedInk(label), whole) << face;
    return whole;
  };
  EXPECT_GT(expectWhole("the window's font"), 50);
  for (const QString& family : QFontDatabase::families(QFontDatabase::Cyrillic)) {
    if (QFontDatabase::isPrivateFamily(family)) continue;
    for (double points : {8.0, 14.0}) {  // 14 points: too tall and too wide for the box
      QFont face(family);
      face.setPointSizeF(points);
      label->setFont(face);
      expectWhole(family.toStdString() + " " + std::to_string(points));
    }
  }
  QTest::mouseClick(Form().Button3, Qt::LeftButton);
}

TEST_F(MainWindow, StartState) {
  TForm1& f = Form();
  EXPECT_EQ(f.CBoxUstr->currentText(), "1");
  EXPECT_EQ(f.Serv.DeviceIndex, 0);
  EXPECT_TRUE(ShowOutcome);
  for (int c = 0; c < 16; ++c) EXPECT_EQ(f.StringGrid1->Cell(c, 0), QString::number(c));
  for (int r = 1; r <= 16; ++r)
    for (int c = 0; c < 16; ++c) EXPECT_TRUE(f.StringGrid1->Cell(c, r).isEmpty()) << c << ":" << r;

  for (QWidget* hidden : std::initializer_list<QWidget*>{f.LabelCikl, f.BKvit, f.BSbros, f.Label7, f.SPBloc})
    EXPECT_FALSE(hidden->isVisible());
  for (QWidget* shown : std::initializer_list<QWidget*>{f.Label2, f.Label3, f.Label4, f.Label8, f.Label9,
                                                        f.Label10, f.Button1, f.Button4, f.StringGrid1})
    EXPECT_TRUE(shown->isVisible());

  EXPECT_EQ(f.EditZapr->text(), "0");
  EXPECT_EQ(f.EditDat1->text(), "0");
  EXPECT_EQ(f.EditDat2->text(), "0");
  for (int n = 1; n <= 20; ++n) EXPECT_EQ(f.Edit(n)->text(), "0") << n;

  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_EQ(f.Timer1->interval(), 500);

  // ComPort1 with its stored properties, closed until the port dialog opens it.
  EXPECT_FALSE(f.ComPort1.Connected());
  EXPECT_EQ(f.ComPort1.Port(), "COM2");
  EXPECT_EQ(f.ComPort1.BaudRate(), br9600);
  EXPECT_EQ(f.ComPort1.StopBits(), sbTwoStopBits);
  EXPECT_EQ(f.ComPort1.DataBits(), dbEight);
  EXPECT_EQ(f.ComPort1.Timeouts().ReadInterval(), 100);
  EXPECT_EQ(f.ComPort1.Timeouts().ReadTotalMultiplier(), 100);
  EXPECT_EQ(f.ComPort1.Timeouts().ReadTotalConstant(), 1000);

  // The link's defaults and the dialogs exist.
  EXPECT_EQ(f.Link.GetTxDelay(), 25);
  EXPECT_EQ(f.Link.GetRxDelay(), 20);
  EXPECT_NE(FormPort, nullptr);
  EXPECT_NE(FormNastr, nullptr);
  EXPECT_FALSE(FormPort->isVisible());
  EXPECT_FALSE(FormNastr->isVisible());
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(MainWindow, TabOrderFollowsTheLayoutTable) {
  TForm1& f = Form();
  std::vector<QWidget*> expected = {f.CBoxUstr, f.EditZapr, f.Edit(1), f.Edit(2), f.Button1};
  for (int n = 3; n <= 10; ++n) expected.push_back(f.Edit(n));
  for (QWidget* w : std::initializer_list<QWidget*>{f.StringGrid1, f.BKvit, f.BSbros, f.Button2, f.Button3,
                                                    f.EditDat1, f.EditDat2, f.Button4, f.Button5, f.Button6})
    expected.push_back(w);
  for (int n = 11; n <= 20; ++n) expected.push_back(f.Edit(n));
  EXPECT_EQ(f.TabOrder(), expected);

  // Real Tab presses walk the shown controls in that order, skipping the hidden buttons.
  EXPECT_EQ(QApplication::focusWidget(), f.CBoxUstr);
  f.StringGrid1->setTabKeyNavigation(false);  // inside the grid Tab moves between cells
  std::vector<QWidget*> visited = {QApplication::focusWidget()};
  for (size_t i = 1; i < expected.size() - 2; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  std::vector<QWidget*> shown;
  for (QWidget* w : expected)
    if (w != f.BKvit && w != f.BSbros) shown.push_back(w);
  shown.resize(visited.size());
  EXPECT_EQ(visited, shown);
}

TEST_F(MainWindow, ChoosingADeviceStoresItsIndex) {
  TForm1& f = Form();
  QTest::mouseClick(f.CBoxUstr, Qt::LeftButton);  // gives it the focus (and opens the list)
  f.CBoxUstr->hidePopup();
  QTest::keyClick(f.CBoxUstr, Qt::Key_End);
  EXPECT_EQ(f.CBoxUstr->currentText(), "31");
  EXPECT_EQ(f.Serv.DeviceIndex, 30);
  QTest::keyClick(f.CBoxUstr, Qt::Key_Up);
  EXPECT_EQ(f.Serv.DeviceIndex, 29);
  QTest::keyClick(f.CBoxUstr, Qt::Key_Home);
  EXPECT_EQ(f.Serv.DeviceIndex, 0);
}

TEST_F(MainWindow, ClosingWithThePortClosedSaysNothing) {
  Form().close();
  ProcessEvents();
  EXPECT_FALSE(Form().isVisible());
  EXPECT_FALSE(Form().ComPort1.Connected());
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(MainWindow, LinkSideOfTheWindow) {
  TForm1& f = Form();
  f.Timer1->start();
  f.DisablePollTimer();
  EXPECT_FALSE(f.Timer1->isActive());
  f.ShowMessage("текст", "Ошибка", MsgIcon::Error, MsgButtons::Ok);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "текст");
  f.CloseMainWindow();
  EXPECT_FALSE(f.isVisible());
}

}  // namespace
