// The accident report dialog: its layout, the form and its keys, "Close", and "Print Start"
// through a printer that writes PDF (the print dialog answered by the test).
#include "tools/ui/print_dlg.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "report_support.h"
#include "support/temp_dir.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CPrintDlg;

QImage solid(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

class PrintDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        front = card.write("NOR/FRONT/20240131_235958_2CH_N_F.mp4", std::string(70000, 'f'));
        rear = card.write("NOR/REAR/20240131_235958_2CH_N_R1.mp4", std::string(5000, 'r'));
    }
    std::unique_ptr<CPrintDlg> makeDialog(bool withMap = true, bool withRear = true) {
        media::RecordingSources opened;
        opened.paths = {front.string(),
                        withRear ? rear.string() : (card.path() / "gone_R1.mp4").string(), ""};
        auto dialog = std::make_unique<CPrintDlg>(
            &main, solid({640, 360}, QColor(200, 30, 30)),
            [withMap, this] {
                ++mapGrabs;
                return withMap ? solid({299, 290}, QColor(30, 60, 200)) : QImage();
            },
            ui::evidenceOfOpened(opened, front.string()));
        dialog->setPrinterAsker([this](QPrinter& printer, QWidget*) {
            ++asked;
            if (!answer) {
                return false;
            }
            printToPdf(printer, pdf, QSizeF(9, 15));
            return true;
        });
        dialog->show();
        return dialog;
    }
    void click(CPrintDlg& dialog, int id) {
        QTest::mouseClick(dialog.button(id), Qt::LeftButton);
        processPosted();
    }

    TempDir card;
    std::filesystem::path front, rear;
    QTemporaryDir out;
    QString pdf = out.filePath(QStringLiteral("report.pdf"));
    QWidget main;
    MessageBoxSpy boxes;
    int asked = 0;
    int mapGrabs = 0;
    bool answer = true;
};

TEST_F(PrintDlgTest, LayoutFormAndFramePicture) {
    auto dialog = makeDialog();
    EXPECT_EQ(dialog->size(), QSize(936, 701));
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog->button(CPrintDlg::kCloseId)->geometry(), QRect(874, 20, 41, 41));
    EXPECT_EQ(dialog->button(CPrintDlg::kPrintStartId)->geometry(), QRect(820, 606, 91, 87));
    EXPECT_EQ(dialog->form()->geometry(), QRect(20, 605, 790, 88));
    EXPECT_EQ(dialog->form()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(dialog->form()->toPlainText(),
              QStringLiteral(
                  "1. Vehicle Number: \n \n2. Vehicle Type:\n \n3. Accident Happen Date:\n \n"));
    const QImage image = dialog->grab().toImage();
    EXPECT_EQ(meanColour(image, QRect(20, 80, 900, 510)), QColor(200, 30, 30));
    // Outside the picture the skin's background shows.
    EXPECT_NE(image.pixelColor(5, 5), QColor(200, 30, 30));
}

TEST_F(PrintDlgTest, ReturnAnywhereBreaksTheFormsLineAndNothingClosesTheDialog) {
    auto dialog = makeDialog();
    QPlainTextEdit* form = dialog->form();
    // In the form, with "Number" selected: the selection is let go of, the break goes to the
    // caret.
    form->setFocus();
    QTextCursor cursor(form->document());
    cursor.setPosition(3);
    cursor.setPosition(17, QTextCursor::KeepAnchor);  // "Vehicle Number" ... caret after it
    form->setTextCursor(cursor);
    QTest::keyClick(form, Qt::Key_Return);
    EXPECT_EQ(form->toPlainText().left(23), QStringLiteral("1. Vehicle Number\n: \n \n"));
    EXPECT_FALSE(form->textCursor().hasSelection());
    // On a button: still the form.
    dialog->button(CPrintDlg::kPrintStartId)->setFocus();
    QTest::keyClick(dialog->button(CPrintDlg::kPrintStartId), Qt::Key_Enter);
    EXPECT_EQ(form->toPlainText().left(24), QStringLiteral("1. Vehicle Number\n\n: \n \n"));
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    processPosted();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(asked, 0);
}

TEST_F(PrintDlgTest, CloseEndsWithOne) {
    auto dialog = makeDialog();
    click(*dialog, CPrintDlg::kCloseId);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 1);
}

TEST_F(PrintDlgTest, PrintStartPrintsTheTypedFormTheGrabsAndTheFileHashes) {
    auto dialog = makeDialog(true, false);
    QPlainTextEdit* form = dialog->form();
    form->setFocus();
    form->moveCursor(QTextCursor::End);
    QTest::keyClicks(form, QStringLiteral("Driver: Kim, hit at the crossing"));
    click(*dialog, CPrintDlg::kPrintStartId);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(dialog->isVisible());
    const QString text = pdfText(pdf);
    for (const QString& expected :
         {QStringLiteral("Accident Report"), QStringLiteral("3. Accident Happen Date:"),
          QStringLiteral("Driver: Kim, hit at the crossing"),
          QStringLiteral("Recording: 20240131_235958_2CH_N_F.mp4"),
          QStringLiteral("Start time: 2024-01-31 23:59:58"),
          QStringLiteral("SHA-256 20240131_235958_2CH_N_F.mp4: ") +
              sha256sum(QString::fromStdString(front.string())),
          QStringLiteral("SHA-256 gone_R1.mp4: unreadable")}) {
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n"
                                             << text.toStdString();
    }
    // The frame as the dialog shows it, the map as its source gives it (50 DPI, a unit
    // 1/101 inch across and 1/96 down).
    const QImage page = pdfImage(pdf);
    const QColor frame = meanColour(page, QRect(45, 65, 330, 235), 2);
    EXPECT_NEAR(frame.red(), 200, 12);
    EXPECT_NEAR(frame.green(), 30, 12);
    const QColor map = meanColour(page, QRect(45, 350, 130, 135), 2);
    EXPECT_NEAR(map.blue(), 200, 12);
    EXPECT_NEAR(map.red(), 30, 12);
    // Each print grabs the map afresh.
    click(*dialog, CPrintDlg::kPrintStartId);
    EXPECT_EQ(mapGrabs, 2);
}

TEST_F(PrintDlgTest, CancelPrintsNothingAndAFailedStartIsReported) {
    auto dialog = makeDialog();
    answer = false;
    click(*dialog, CPrintDlg::kPrintStartId);
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(dialog->isVisible());

    answer = true;
    pdf = out.filePath(QStringLiteral("no-such-folder/report.pdf"));
    EXPECT_EQ(dialog->printReport(), CPrintDlg::PrintResult::Failed);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("not printed")));
    EXPECT_TRUE(boxes.boxes[0].text.contains(pdf));
    EXPECT_EQ(boxes.boxes[0].icon, ui::MessageIcon::Error);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(PrintDlgTest, WithoutAMapTheRestIsPrinted) {
    auto dialog = makeDialog(false);
    EXPECT_EQ(dialog->printReport(), CPrintDlg::PrintResult::Printed);
    const QImage page = pdfImage(pdf);
    EXPECT_EQ(inkedPixels(page, QRect(35, 341, 147, 150)), 0);
    EXPECT_NEAR(meanColour(page, QRect(45, 65, 330, 235), 2).red(), 200, 12);
    EXPECT_TRUE(pdfText(pdf).contains(QStringLiteral("SHA-256 20240131_235958_2CH_N_R1.mp4: ") +
                                      sha256sum(QString::fromStdString(rear.string()))));
}

}  // namespace
}  // namespace qelv::test
