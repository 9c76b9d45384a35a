// Teaching by example in the image window: the teaching region and the marks drawn over the picture,
// the marks kept beside the picture, and "Suggest parameters" giving what the core search and the
// counter's --learn give.

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "core/AnalysisState.h"
#include "detect/BlobCount.h"
#include "detect/Marks.h"
#include "detect/ParameterSearch.h"
#include "gui/Forms.h"
#include "gui/LayerView.h"
#include "gui/LongWork.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"
#include "picture/PictureLoading.h"
#include "report/DensityReport.h"
#include "report/BlobReport.h"
#include "report/ReportFile.h"
#include "support/SyntheticMicrograph.h"
#include "support/WindowTest.h"

namespace fs = std::filesystem;

namespace {

/// Sends a mouse event to the view in front, at a widget position.
void sendMouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QWidget* view = Form2->frontLayer();
    QMouseEvent event(type, QPointF(at), view->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
}

void click(QPoint at)
{
    sendMouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void drag(QPoint from, QPoint to)
{
    sendMouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

/// A generated picture counted with known parameters.
Picture generatedPicture()
{
    MicrographOptions options;
    options.width = 400;
    options.height = 300;
    options.particles = 90;
    options.seed = 21;
    return makeSyntheticMicrograph(options).picture;
}

CountParams knownParameters()
{
    CountParams known;
    known.targetColour = rgbColour(110, 200, 85);
    known.colourTolerance = 45;
    known.brightnessTolerance = 70;
    known.minContrast = 30;
    known.minSize = 3;
    known.maxSize = 9;
    return known;
}

}  // namespace

class TeachTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void dragSetsTheRegionOverThePicture();
    void clicksAddAndRemoveMarksKeptBesideThePicture();
    void badMarksFileGivesAMessageAndNoMarks();
    void suggestWithoutEnoughToLearnFromChangesNothing();
    void suggestParametersGivesTheSearchesAndTheCountersValues();

private:
    /// Writes picture as NAME.jpg in the test folder, loads it and returns the picture as decoded.
    Picture openPicture(const Picture& picture, const QString& name);

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void TeachTest::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(fs::path(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString()));
    Form1->setWorkingFolder(fs::path(folder_->path().toStdString()));
}

void TeachTest::cleanup()
{
    closeTestWindows(dialogs_);
    folder_.reset();
}

Picture TeachTest::openPicture(const Picture& picture, const QString& name)
{
    const fs::path path = fs::path(folder_->path().toStdString()) / (name.toStdString() + ".jpg");
    if (!replaceWithJpegFile(picture, path, 95).empty()) return {};
    if (!Form1->loadimage(name + QStringLiteral(".jpg"))) return {};
    return decodePictureFile(path, PictureKind::Jpeg).picture;
}

void TeachTest::dragSetsTheRegionOverThePicture()
{
    const Picture shown = openPicture(generatedPicture(), QStringLiteral("drag"));
    QVERIFY(!shown.empty());
    const Layers before = Form2->layers();
    const QImage displayBefore = Form2->frontLayer()->shownImage();
    Form2->Teachmode1->trigger();
    QVERIFY(Form2->teachMode());

    drag(QPoint(30, 20), QPoint(130, 90));
    QCOMPARE(Form2->teachingRegion(), (PixelRegion{30, 20, 100, 70}));
    // Dragged up and left, the region is the same rectangle.
    drag(QPoint(130, 90), QPoint(30, 20));
    QCOMPARE(Form2->teachingRegion(), (PixelRegion{30, 20, 100, 70}));
    QCOMPARE(Form2->frontLayer()->teachRegion(), QRect(30, 20, 100, 70));
    QVERIFY(Form2->marks().empty());  // a drag adds no mark
    // The region lies over the picture: no layer's pixels and no display copy changed, and no
    // selection band was started.
    QVERIFY(Form2->layers().Image1 == before.Image1);
    QVERIFY(Form2->layers().Image2 == before.Image2);
    QVERIFY(Form2->layers().Image3 == before.Image3);
    QCOMPARE(Form2->frontLayer()->shownImage(), displayBefore);
    QVERIFY(Form2->Image1->band().isEmpty());
    // The overlay is painted: the region's outline shows on screen.
    QImage grabbed = Form2->frontLayer()->grab().toImage();
    QVERIFY(grabbed.pixelColor(30, 20) != displayBefore.pixelColor(30, 20) ||
            grabbed.pixelColor(60, 20) != displayBefore.pixelColor(60, 20));
    VERIFY_NO_MESSAGE(dialogs_);
}

void TeachTest::clicksAddAndRemoveMarksKeptBesideThePicture()
{
    const Picture picture = openPicture(generatedPicture(), QStringLiteral("clicks"));
    QVERIFY(!picture.empty());
    const Picture original = Form2->layers().Image1;
    // Outside teach mode a click on the original makes no mark.
    click(QPoint(50, 50));
    QVERIFY(Form2->marks().empty());

    Form2->Teachmode1->trigger();
    click(QPoint(50, 50));
    click(QPoint(120, 80));
    click(QPoint(200, 150));
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {120, 80}, {200, 150}}));
    // A click within a few pixels of a mark removes it; one further off adds a mark.
    click(QPoint(122, 78));
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {200, 150}}));
    click(QPoint(60, 50));
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {200, 150}, {60, 50}}));
    QCOMPARE(Form2->frontLayer()->teachMarks().size(), std::size_t(3));
    QVERIFY(Form2->layers().Image1 == original);  // crosses lie over the picture

    // Every change is written beside the picture.
    const fs::path file = fs::path(folder_->path().toStdString()) / "c_clicks.marks.csv";
    const MarksReading written = readMarksFile(file);
    QCOMPARE(written.error, std::string());
    QCOMPARE(written.marks, Form2->marks());

    // Another picture has marks of its own; the first one's come back with it.
    QVERIFY(!openPicture(generatedPicture(), QStringLiteral("other")).empty());
    QVERIFY(Form2->marks().empty());
    QVERIFY(!fs::exists(fs::path(folder_->path().toStdString()) / "c_other.marks.csv"));
    QVERIFY(Form1->loadimage(QStringLiteral("clicks.jpg")));
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {200, 150}, {60, 50}}));

    Form2->Clearmarks1->trigger();
    QVERIFY(Form2->marks().empty());
    QVERIFY(readMarksFile(file).marks.empty());
    VERIFY_NO_MESSAGE(dialogs_);
}

void TeachTest::badMarksFileGivesAMessageAndNoMarks()
{
    QFile bad(folder_->filePath(QStringLiteral("c_bad.marks.csv")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("x,y\n10,10\n12,banana\n");
    bad.close();
    QVERIFY(!openPicture(generatedPicture(), QStringLiteral("bad")).empty());
    QCOMPARE(dialogs_->messages.size(), std::size_t(1));
    QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("banana")));
    QVERIFY(Form2->marks().empty());
    // The bad file is left as it was: reading it wrote nothing.
    QVERIFY(bad.open(QIODevice::ReadOnly));
    QCOMPARE(bad.readAll(), QByteArray("x,y\n10,10\n12,banana\n"));
}

void TeachTest::suggestWithoutEnoughToLearnFromChangesNothing()
{
    QVERIFY(!openPicture(generatedPicture(), QStringLiteral("few")).empty());
    const ParameterTexts before = Form1->parameterTexts();
    Form2->Teachmode1->trigger();
    // No region yet, then a region with a single mark: told why, and nothing changes.
    click(QPoint(100, 100));
    Form2->Suggestparameters1->trigger();
    drag(QPoint(50, 50), QPoint(200, 200));
    Form2->Suggestparameters1->trigger();
    QCOMPARE(dialogs_->messages.size(), std::size_t(2));
    for (const auto& shown : dialogs_->messages) {
        QCOMPARE(shown.kind, UserDialogs::MessageKind::Warning);
        QVERIFY(shown.text.startsWith(QStringLiteral("Cannot suggest parameters: ")));
    }
    const ParameterTexts after = Form1->parameterTexts();
    QCOMPARE(after.Edmin, before.Edmin);
    QCOMPARE(after.EdR, before.EdR);
    QCOMPARE(after.EdCont, before.EdCont);
    QVERIFY(!Form2->blobSettings().has_value());
    QCOMPARE(AnalysisState.AutoCount, 0);
}

void TeachTest::suggestParametersGivesTheSearchesAndTheCountersValues()
{
    const Picture picture = openPicture(generatedPicture(), QStringLiteral("taught"));
    QVERIFY(!picture.empty());
    // The marks: what the count finds with known parameters in the region, clicked one by one.
    const PixelRegion region{60, 40, 280, 220};
    const std::vector<Mark> marks = marksInside(countInRegion(picture, region, knownParameters()), region);
    QVERIFY(marks.size() >= 30);
    Form2->Teachmode1->trigger();
    drag(QPoint(region.x, region.y), QPoint(region.x + region.width, region.y + region.height));
    QCOMPARE(Form2->teachingRegion(), region);
    for (const Mark& mark : marks) click(QPoint(mark.x, mark.y));
    QCOMPARE(Form2->marks(), marks);

    // The search can be cancelled (the progress dialog's Cancel): then nothing changes, nothing is said.
    const ParameterTexts before = Form1->parameterTexts();
    bool asked = false;
    LongWork::setWatcher([&](double) {
        asked = true;
        return false;
    });
    Form2->Suggestparameters1->trigger();
    LongWork::setWatcher({});
    QVERIFY(asked);
    QVERIFY(dialogs_->messages.empty());
    QCOMPARE(Form1->parameterTexts().Edmin, before.Edmin);
    QCOMPARE(Form1->parameterTexts().EdR, before.EdR);
    QVERIFY(!Form2->blobSettings().has_value());

    Form2->Suggestparameters1->trigger();
    QCOMPARE(dialogs_->messages.size(), std::size_t(1));
    QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Information);

    // The core search on the same picture, region and marks.
    const Teaching teaching = teachFromMarks(picture, region, marks);
    QCOMPARE(teaching.error, std::string());
    const CountParams& learnt = teaching.count;
    QCOMPARE(Form1->Edmin->text(), QString::number(learnt.minSize));
    QCOMPARE(Form1->EdMax->text(), QString::number(learnt.maxSize));
    QCOMPARE(Form1->EdR->text(), QString::number(colourRed(learnt.targetColour)));
    QCOMPARE(Form1->EdG->text(), QString::number(colourGreen(learnt.targetColour)));
    QCOMPARE(Form1->EdB->text(), QString::number(colourBlue(learnt.targetColour)));
    QCOMPARE(Form1->EdDevi->text(), QString::number(learnt.colourTolerance));
    QCOMPARE(Form1->Edhell->text(), QString::number(learnt.brightnessTolerance));
    QCOMPARE(Form1->EdCont->text(), QString::number(learnt.minContrast));
    QCOMPARE(Form1->PnColorColour(), learnt.targetColour);
    QVERIFY(Form2->blobSettings().has_value());
    QCOMPARE(*Form2->blobSettings(), teaching.blobs);
    // The learnt values reproduce the marks, and the message says how well.
    QCOMPARE(teaching.countFit.found, int(marks.size()));
    const QString fit = dialogs_->messages[0].text;
    QVERIFY2(fit.contains(QStringLiteral("%1 marks").arg(marks.size())), qPrintable(fit));
    QVERIFY2(fit.contains(QStringLiteral("found %1, missed %2, extra %3")
                              .arg(teaching.countFit.matched)
                              .arg(teaching.countFit.missed())
                              .arg(teaching.countFit.extra())),
             qPrintable(fit));

    // The count ran with them: the report holds its 21 lines, then the blob lines.
    const QStringList lines = Form3->lines();
    QCOMPARE(lines.size(), 21 + kBlobReportLineCount);
    const int blobs = static_cast<int>(findBlobs(picture, learnt.targetColour, teaching.blobs).size());
    QCOMPARE(lines[21], QString::fromLatin1(kBlobCountLabel) + QString::number(blobs));
    QCOMPARE(Form2->blobMarkers().size(), std::size_t(blobs));
    // The blob view shows them over the picture, in their own markers.
    Form2->Blobview1->trigger();
    QVERIFY(Form2->Blobview1->isChecked());

    // The counter's --learn on the same file, marks and region: the same options and the same lines.
    const QString marksFile = folder_->filePath(QStringLiteral("c_taught.marks.csv"));
    QVERIFY(QFile::exists(marksFile));
    const QString learnOut = folder_->filePath(QStringLiteral("learnt.txt"));
    QProcess counter;
    counter.start(QStringLiteral(SPOTTALLY_BINARY_DIR "/spottally-count"),
                  {QStringLiteral("--learn"), marksFile, QStringLiteral("--learn-region"),
                   QStringLiteral("%1,%2,%3,%4").arg(region.x).arg(region.y).arg(region.width).arg(region.height),
                   QStringLiteral("--learn-out"), learnOut, folder_->filePath(QStringLiteral("taught.jpg"))});
    QVERIFY(counter.waitForFinished(120000));
    QCOMPARE(counter.exitCode(), 0);
    const QString printed = QString::fromUtf8(counter.readAllStandardOutput());
    const QString options = QStringLiteral("--min-size %1 --max-size %2 --colour %3,%4,%5 --colour-tolerance %6 "
                                           "--brightness-tolerance %7 --min-contrast %8")
                                .arg(Form1->Edmin->text(), Form1->EdMax->text(), Form1->EdR->text(),
                                     Form1->EdG->text(), Form1->EdB->text(), Form1->EdDevi->text(),
                                     Form1->Edhell->text(), Form1->EdCont->text());
    QVERIFY2(printed.startsWith(options + QLatin1Char('\n')), qPrintable(printed));
    const ReportReading saved = readReportFile(learnOut.toStdString());
    QCOMPARE(saved.error, std::string());
    std::vector<std::string> windowLines;
    for (const QString& line : lines) windowLines.push_back(line.toStdString());
    rewriteNameLines(windowLines, AnalysisState.ImageFileName);
    // The counter's file adds the learnt count's lines after the blob lines.
    QCOMPARE(saved.lines.size(), windowLines.size() + kLearntReportLineCount);
    QCOMPARE(saved.lines[windowLines.size()].rfind(kLearntCountLabel, 0), std::size_t(0));
    for (std::size_t i = 0; i < windowLines.size(); ++i)
        if (i != 14) QCOMPARE(saved.lines[i], windowLines[i]);  // all but the date

    // The saved report keeps the blob settings: opened again, it brings them back with the picture,
    // and a new count gives the same blob lines.
    QVERIFY(Form3->saveReport());
    Form2->Teachmode1->trigger();
    Form2->ClearmarksClick();
    QVERIFY(Form1->loadimage(QStringLiteral("taught.jpg")));
    QVERIFY(!Form2->blobSettings().has_value());
    dialogs_->answerNextFileDialog(folder_->filePath(QStringLiteral("c_taught.txt")));
    Form1->Savereport1Click();
    QVERIFY(Form2->blobSettings().has_value());
    QCOMPARE(*Form2->blobSettings(), teaching.blobs);
    Form1->BnCount->click();
    QCOMPARE(Form3->lines().mid(15), lines.mid(15));
    QCOMPARE(dialogs_->messages.size(), std::size_t(1));
}

QTEST_MAIN(TeachTest)
#include "Teach_test.moc"
