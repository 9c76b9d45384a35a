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
#include "detect/BackgroundBoxes.h"
#include "detect/BlobCount.h"
#include "detect/DensityCount.h"
#include "detect/Marks.h"
#include "detect/ParameterSearch.h"
#include "gui/Forms.h"
#include "gui/LayerView.h"
#include "gui/LongWork.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"
#include "picture/PictureLoading.h"
#include "picture/SampleRange.h"
#include "report/BlobReport.h"
#include "report/DensityReport.h"
#include "report/ReportFile.h"
#include "support/SyntheticMicrograph.h"
#include "support/TiffWriter.h"
#include "support/WindowTest.h"

namespace fs = std::filesystem;

namespace {

/// Sends a mouse event to the view in front, at a widget position.
void sendMouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* view = Form2->frontLayer();
    QMouseEvent event(type, QPointF(at), view->mapToGlobal(QPointF(at)), button, buttons, modifiers);
    QCoreApplication::sendEvent(view, &event);
}

void click(QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
           Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(QEvent::MouseButtonPress, at, button, button, modifiers);
    sendMouse(QEvent::MouseButtonRelease, at, button, Qt::NoButton, modifiers);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void drag(QPoint from, QPoint to)
{
    sendMouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

/// Shift+drag over box: marks it as background in teach mode.
void dragBackgroundBox(const PixelRegion& box)
{
    const QPoint from(box.x, box.y), to(box.x + box.width, box.y + box.height);
    sendMouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    sendMouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    sendMouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
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
    void aNewPictureEndsTeachModeAndGetsNoMarksFile();
    void badMarksFileIsKeptAsideBeforeTheFirstChange();
    void suggestWithoutEnoughToLearnFromChangesNothing();
    void learntCountGrowsOverThePicturesAndCountsEveryPicture();
    void cancelledLearningKeepsWhatWasLearnt();
    void suggestParametersGivesTheSearchesAndTheCountersValues();
    void learntCountMapsLaterPicturesAsTaught();

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
    // Touching particles: a plain click beside a mark adds one; clicking a marked pixel adds none.
    click(QPoint(122, 78));
    click(QPoint(122, 78));
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {120, 80}, {200, 150}, {122, 78}}));
    // Removal is its own gesture, said in the title: Alt+click or right-click takes the nearest mark
    // within 4 pixels each way; one with none that near changes nothing.
    click(QPoint(122, 79), Qt::AltModifier);
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {120, 80}, {200, 150}}));
    QVERIFY2(Form2->windowTitle().contains(QStringLiteral("122, 78 removed")),
             qPrintable(Form2->windowTitle()));
    click(QPoint(124, 84), Qt::NoModifier, Qt::RightButton);
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {200, 150}}));
    click(QPoint(205, 150), Qt::AltModifier);
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {200, 150}}));
    QVERIFY(Form2->teachingRegion().empty());  // Alt+click started no region
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
    Form2->Teachmode1->trigger();
    QVERIFY(!fs::exists(fs::path(folder_->path().toStdString()) / "c_other.marks.csv"));
    QVERIFY(Form1->loadimage(QStringLiteral("clicks.jpg")));
    QCOMPARE(Form2->marks(), (std::vector<Mark>{{50, 50}, {200, 150}, {60, 50}}));

    Form2->Clearmarks1->trigger();
    QVERIFY(Form2->marks().empty());
    QVERIFY(readMarksFile(file).marks.empty());
    VERIFY_NO_MESSAGE(dialogs_);
}

void TeachTest::aNewPictureEndsTeachModeAndGetsNoMarksFile()
{
    QVERIFY(!openPicture(generatedPicture(), QStringLiteral("first")).empty());
    Form2->Teachmode1->trigger();
    // In teach mode the click-mode item, which no longer says what a click does, is greyed out.
    QVERIFY(!Form2->Orig1->isEnabled());
    click(QPoint(50, 50));
    QCOMPARE(Form2->marks().size(), std::size_t(1));

    // The next picture ends teach mode, and says so; it starts in the click mode its item shows.
    QVERIFY(!openPicture(generatedPicture(), QStringLiteral("second")).empty());
    QVERIFY(!Form2->teachMode());
    QVERIFY(!Form2->Teachmode1->isChecked());
    QVERIFY(Form2->Orig1->isEnabled());
    QCOMPARE(Form2->windowTitle(), QStringLiteral("Teach mode is off for the new picture"));
    Form1->BnCount->click();
    QCOMPARE(Form2->frontLayer(), Form2->Image2);
    QCOMPARE(Form2->Orig1->text(), QStringLiteral("&[Click mode=] Remove"));
    const int counted = AnalysisState.AutoCount;
    QVERIFY(!Form2->particles().particles.empty());
    const ParticleRecord particle = Form2->particles().particles.front();
    click(QPoint(particle.x, particle.y));
    QVERIFY(Form2->marks().empty());
    QCOMPARE(AnalysisState.AutoCount, counted - 1);  // the click removed the particle

    // A picture never taught gets no marks file, not even when its report is saved.
    QVERIFY(Form3->saveReport());
    const fs::path folder = folder_->path().toStdString();
    QVERIFY(fs::exists(folder / "c_second.txt"));
    QVERIFY(!fs::exists(folder / "c_second.marks.csv"));
    QCOMPARE(readMarksFile(folder / "c_first.marks.csv").marks, (std::vector<Mark>{{50, 50}}));
    VERIFY_NO_MESSAGE(dialogs_);
}

void TeachTest::badMarksFileIsKeptAsideBeforeTheFirstChange()
{
    const QByteArray badText("x,y\n10,10\n12,banana\n");
    const QString badPath = folder_->filePath(QStringLiteral("c_bad.marks.csv"));
    QFile bad(badPath);
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(badText);
    bad.close();
    // An earlier refused file already lies aside: it is not replaced either.
    QFile earlier(folder_->filePath(QStringLiteral("c_bad.marks.refused.csv")));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();

    QVERIFY(!openPicture(generatedPicture(), QStringLiteral("bad")).empty());
    QCOMPARE(dialogs_->messages.size(), std::size_t(1));
    QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("banana")));
    QVERIFY(Form2->marks().empty());
    // Reading the file and saving the report leave it as it was.
    Form1->BnCount->click();
    QVERIFY(Form3->saveReport());
    QCOMPARE(fileBytes(badPath), badText);

    // The first teaching click keeps the refused file under a name of its own, and says which.
    Form2->Teachmode1->trigger();
    click(QPoint(70, 60));
    QCOMPARE(dialogs_->messages.size(), std::size_t(2));
    QCOMPARE(dialogs_->messages[1].kind, UserDialogs::MessageKind::Information);
    QVERIFY2(dialogs_->messages[1].text.contains(QStringLiteral("c_bad.marks.refused-2.csv")),
             qPrintable(dialogs_->messages[1].text));
    QCOMPARE(fileBytes(folder_->filePath(QStringLiteral("c_bad.marks.refused-2.csv"))), badText);
    QCOMPARE(fileBytes(folder_->filePath(QStringLiteral("c_bad.marks.refused.csv"))), QByteArray("earlier"));
    QCOMPARE(readMarksFile(badPath.toStdString()).marks, (std::vector<Mark>{{70, 60}}));
    click(QPoint(90, 60));
    QCOMPARE(dialogs_->messages.size(), std::size_t(2));  // told once
    QCOMPARE(readMarksFile(badPath.toStdString()).marks, (std::vector<Mark>{{70, 60}, {90, 60}}));
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
    // What was learnt holds for the next pictures until it is forgotten.
    QVERIFY(Form2->blobSettings().has_value());
    Form2->Forgetteaching1->trigger();
    QVERIFY(!Form2->blobSettings().has_value());
    dialogs_->answerNextFileDialog(folder_->filePath(QStringLiteral("c_taught.txt")));
    Form1->Savereport1Click();
    QVERIFY(Form2->blobSettings().has_value());
    QCOMPARE(*Form2->blobSettings(), teaching.blobs);
    Form1->BnCount->click();
    QCOMPARE(Form3->lines().mid(15), lines.mid(15));
    QCOMPARE(dialogs_->messages.size(), std::size_t(1));
}

namespace {

/// What a generated picture teaches: a mark on every drawn particle inside region, and one box of
/// 30 x 30 pixels that no particle comes near.
struct DrawnTeaching {
    std::vector<Mark> marks;
    PixelRegion background;
};

DrawnTeaching drawnTeaching(const Micrograph& drawn, const PixelRegion& region)
{
    DrawnTeaching teaching;
    for (const DrawnParticle& particle : drawn.particles) {
        const Mark mark{static_cast<int>(particle.column), static_cast<int>(particle.row)};
        if (region.contains(mark.x, mark.y)) teaching.marks.push_back(mark);
    }
    for (int y = 5; y + 35 < drawn.picture.height() && teaching.background.empty(); y += 10)
        for (int x = 5; x + 35 < drawn.picture.width() && teaching.background.empty(); x += 10) {
            const bool clear =
                std::all_of(drawn.particles.begin(), drawn.particles.end(), [&](const DrawnParticle& p) {
                    const double dx = std::max({x - p.column, 0.0, p.column - (x + 30)});
                    const double dy = std::max({y - p.row, 0.0, p.row - (y + 30)});
                    return dx * dx + dy * dy > (p.radius + 3) * (p.radius + 3);
                });
            if (clear) teaching.background = PixelRegion{x, y, 30, 30};
        }
    return teaching;
}

}  // namespace

void TeachTest::learntCountGrowsOverThePicturesAndCountsEveryPicture()
{
    MicrographOptions options;
    options.width = 400;
    options.height = 300;
    options.particles = 90;
    options.seed = 31;
    const Micrograph first = makeSyntheticMicrograph(options);
    options.seed = 32;
    const Micrograph second = makeSyntheticMicrograph(options);
    const PixelRegion region{40, 30, 320, 240};

    // The first picture: region, marks and a background box (Shift+drag), the box kept beside the marks.
    const Picture firstShown = openPicture(first.picture, QStringLiteral("seriesA"));
    QVERIFY(!firstShown.empty());
    const DrawnTeaching firstTeaching = drawnTeaching(first, region);
    QVERIFY(firstTeaching.marks.size() >= 30 && !firstTeaching.background.empty());
    Form2->Teachmode1->trigger();
    drag(QPoint(region.x, region.y), QPoint(region.x + region.width, region.y + region.height));
    for (const Mark& mark : firstTeaching.marks) click(QPoint(mark.x, mark.y));
    const PixelRegion box = firstTeaching.background;
    dragBackgroundBox(box);
    QCOMPARE(Form2->backgroundBoxes(), (std::vector<PixelRegion>{box}));
    QCOMPARE(Form2->teachingRegion(), region);
    QCOMPARE(Form2->frontLayer()->backgroundBoxes().size(), std::size_t(1));
    const fs::path folder = folder_->path().toStdString();
    QCOMPARE(readBackgroundFile(folder / "c_seriesA.background.csv").boxes, Form2->backgroundBoxes());

    Form2->Learndensity1->trigger();
    QCOMPARE(dialogs_->messages.size(), std::size_t(1));
    QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Information);
    QVERIFY(Form2->densityModel().has_value());
    // The window learns and counts what the core does from the same teaching.
    TeachingSet expected;
    QCOMPARE(addTeachingPicture(expected, firstShown, "seriesA.jpg", region, firstTeaching.marks, {box}),
             std::string());
    const DensityTraining firstModel = trainDensityModel(expected);
    QCOMPARE(densityModelText(*Form2->densityModel()), densityModelText(firstModel.model));
    QVERIFY(Form2->learntResult().has_value());
    QCOMPARE(Form2->learntResult()->count, predictDensity(firstShown, firstModel.model).count);
    QVERIFY2(dialogs_->messages[0].text.contains(QStringLiteral("Learnt count of this picture: %1.")
                                                     .arg(learntParticleCount(*Form2->learntResult()))),
             qPrintable(dialogs_->messages[0].text));
    // The report's learnt lines follow its 21 lines.
    QCOMPARE(Form3->lines().size(), 21 + kLearntReportLineCount);
    QCOMPARE(Form3->lines()[21], QString::fromLatin1(kLearntCountLabel) +
                                     QString::number(learntParticleCount(*Form2->learntResult())));

    // The next picture ends teach mode but keeps the teaching, and its count has a learnt count too.
    const Picture secondShown = openPicture(second.picture, QStringLiteral("seriesB"));
    QVERIFY(!Form2->teachMode());
    QVERIFY(Form2->backgroundBoxes().empty());
    Form1->BnCount->click();
    QVERIFY(Form2->learntResult().has_value());
    QCOMPARE(Form2->learntResult()->count, predictDensity(secondShown, firstModel.model).count);

    // Taught on the second picture as well, the model learns from both.
    const DrawnTeaching secondTeaching = drawnTeaching(second, region);
    Form2->Teachmode1->trigger();
    drag(QPoint(region.x, region.y), QPoint(region.x + region.width, region.y + region.height));
    for (const Mark& mark : secondTeaching.marks) click(QPoint(mark.x, mark.y));
    Form2->Learndensity1->trigger();
    QCOMPARE(dialogs_->messages.size(), std::size_t(2));
    QCOMPARE(Form2->teachingSet().pictures.size(), std::size_t(2));
    QCOMPARE(Form2->densityModel()->pictures, 2);
    QCOMPARE(Form2->densityModel()->marks, int(firstTeaching.marks.size() + secondTeaching.marks.size()));
    QCOMPARE(Form2->densityModel()->backgroundBoxes, 1);
    QCOMPARE(Form2->learntResult()->count, predictDensity(secondShown, *Form2->densityModel()).count);
    const int secondLearnt = learntParticleCount(*Form2->learntResult());

    // The view: the density as a heat map and the learnt positions over the picture.
    Form2->Densityview1->trigger();
    QCOMPARE(Form2->frontLayer()->densityHeat().size(), QSize(secondShown.width(), secondShown.height()));
    QCOMPARE(Form2->frontLayer()->densityPositions().size(), Form2->learntResult()->positions.size());
    QVERIFY(!Form2->learntResult()->positions.empty());

    // Saved beside the report, the model comes back with it.
    QVERIFY(Form3->saveReport());
    const std::string learnt = densityModelText(*Form2->densityModel());
    QVERIFY(fs::exists(densityModelPath(folder / "c_seriesB.txt")));
    Form2->Forgetteaching1->trigger();
    QVERIFY(!Form2->densityModel().has_value());
    dialogs_->answerNextFileDialog(folder_->filePath(QStringLiteral("c_seriesB.txt")));
    Form1->Savereport1Click();
    QVERIFY(Form2->densityModel().has_value());
    QCOMPARE(densityModelText(*Form2->densityModel()), learnt);

    // Switched off, the next count has no learnt count.
    Form2->Learntcounts1->trigger();
    QVERIFY(!Form2->learntCountsOn());
    Form1->BnCount->click();
    QVERIFY(!Form2->learntResult().has_value());
    QCOMPARE(Form3->lines().size(), 21);
    QCOMPARE(dialogs_->messages.size(), std::size_t(2));

    // The counter, taught on the same pictures, marks, regions and box, learns the same model and
    // gives the second picture the same learnt count.
    const QString regionText =
        QStringLiteral("%1,%2,%3,%4").arg(region.x).arg(region.y).arg(region.width).arg(region.height);
    const QString boxText = QStringLiteral("%1,%2,%3,%4").arg(box.x).arg(box.y).arg(box.width).arg(box.height);
    const auto runCounter = [&](const QStringList& arguments) {
        QProcess counter;
        counter.start(QStringLiteral(SPOTTALLY_BINARY_DIR "/spottally-count"), arguments);
        const bool finished = counter.waitForFinished(300000);
        return std::make_pair(finished && counter.exitCode() == 0,
                              QString::fromUtf8(counter.readAllStandardOutput() + counter.readAllStandardError()));
    };
    const auto taught = runCounter(
        {QStringLiteral("--learn"), folder_->filePath(QStringLiteral("c_seriesA.marks.csv")),
         QStringLiteral("--learn-region"), regionText, QStringLiteral("--learn-background"), boxText,
         QStringLiteral("--learn"), folder_->filePath(QStringLiteral("c_seriesB.marks.csv")),
         QStringLiteral("--learn-region"), regionText, QStringLiteral("--learn-out"),
         folder_->filePath(QStringLiteral("learnt.txt")), folder_->filePath(QStringLiteral("seriesA.jpg")),
         folder_->filePath(QStringLiteral("seriesB.jpg"))});
    QVERIFY2(taught.first, qPrintable(taught.second));
    const DensityModelReading counterModel = readDensityModelFile(folder / "learnt.model.txt");
    QCOMPARE(counterModel.error, std::string());
    QCOMPARE(densityModelText(counterModel.model), learnt);
    fs::create_directory(folder / "counted");
    fs::copy_file(folder / "seriesB.jpg", folder / "counted" / "seriesB.jpg");
    const auto counted = runCounter({QStringLiteral("--params-from"), folder_->filePath(QStringLiteral("learnt.txt")),
                                     QStringLiteral("--density"),
                                     folder_->filePath(QStringLiteral("counted/seriesB.jpg"))});
    QVERIFY2(counted.first, qPrintable(counted.second));
    QVERIFY2(counted.second.trimmed().endsWith(QLatin1Char('\t') + QString::number(secondLearnt)),
             qPrintable(counted.second));
}

void TeachTest::cancelledLearningKeepsWhatWasLearnt()
{
    MicrographOptions options;
    options.width = 300;
    options.height = 240;
    options.particles = 70;
    options.seed = 41;
    const Micrograph drawn = makeSyntheticMicrograph(options);
    QVERIFY(!openPicture(drawn.picture, QStringLiteral("cancelled")).empty());
    const PixelRegion region{0, 0, 300, 240};
    const DrawnTeaching teaching = drawnTeaching(drawn, region);
    Form2->Teachmode1->trigger();
    drag(QPoint(0, 0), QPoint(300, 240));
    for (const Mark& mark : teaching.marks) click(QPoint(mark.x, mark.y));
    // Cancel, as the progress dialog's button would, the first time the work asks.
    LongWork::setWatcher([](double) { return false; });
    Form2->Learndensity1->trigger();
    LongWork::setWatcher({});
    QVERIFY(!Form2->densityModel().has_value());
    QVERIFY(Form2->teachingSet().empty());
    QVERIFY2(Form2->windowTitle().startsWith(QStringLiteral("Learning cancelled")), qPrintable(Form2->windowTitle()));
    VERIFY_NO_MESSAGE(dialogs_);
    // Not cancelled, the same teaching is learnt.
    Form2->Learndensity1->trigger();
    QVERIFY(Form2->densityModel().has_value());
    QCOMPARE(Form2->teachingSet().pictures.size(), std::size_t(1));
}

namespace {

/// picture as a 16-bit RGB TIFF file: each 8-bit value v becomes the sample v * scale + offset.
bool writeSixteenBitTiff(const Picture& picture, int scale, int offset, const fs::path& path)
{
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            for (const int channel : {2, 1, 0}) {  // red, green, blue
                const int sample = picture.row(y)[3 * x + channel] * scale + offset;
                samples.push_back(static_cast<std::uint8_t>(sample & 0xFF));
                samples.push_back(static_cast<std::uint8_t>(sample >> 8));
            }
    const auto width = static_cast<std::uint32_t>(picture.width());
    const tifftest::TiffFile file = tifftest::writeTiff(
        {tifftest::imagePage(width, static_cast<std::uint32_t>(picture.height()), {16, 16, 16}, 2, 3, samples,
                             width * 6)});
    QFile out(QString::fromStdString(path.string()));
    return out.open(QIODevice::WriteOnly) &&
           out.write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<qint64>(file.bytes.size())) ==
               static_cast<qint64>(file.bytes.size());
}

}  // namespace

// A model taught on a 16-bit picture maps every later one as it mapped that one: the window counts a
// later picture of the series, exposed at half the samples, as the counter does with the same model.
// Mapped by its own percentiles, the later picture would look as bright as the taught one.
void TeachTest::learntCountMapsLaterPicturesAsTaught()
{
    MicrographOptions options;
    options.width = 400;
    options.height = 300;
    options.particles = 90;
    options.seed = 51;
    const Micrograph taught = makeSyntheticMicrograph(options);
    options.seed = 52;
    const Micrograph later = makeSyntheticMicrograph(options);
    const fs::path folder = folder_->path().toStdString();
    fs::create_directory(folder / "out");
    QVERIFY(writeSixteenBitTiff(taught.picture, 40, 300, folder / "taught.tif"));
    QVERIFY(writeSixteenBitTiff(later.picture, 20, 150, folder / "later.tif"));
    const PixelRegion region{0, 0, 400, 300};
    const DrawnTeaching teaching = drawnTeaching(taught, region);
    QVERIFY(writeMarksFile(folder / "taught.marks.csv", teaching.marks).saved());

    // Whether the counter ran well, and its output lines (then its messages).
    const auto runCounter = [&](const QStringList& arguments) {
        QProcess counter;
        counter.start(QStringLiteral(SPOTTALLY_BINARY_DIR "/spottally-count"), arguments);
        const bool finished = counter.waitForFinished(300000);
        return std::make_pair(finished && counter.exitCode() == 0,
                              QString::fromUtf8(counter.readAllStandardOutput()) + QLatin1Char('\n') +
                                  QString::fromUtf8(counter.readAllStandardError()));
    };
    const PixelRegion box = teaching.background;
    const auto learnt = runCounter(
        {QStringLiteral("--learn"), folder_->filePath(QStringLiteral("taught.marks.csv")),
         QStringLiteral("--learn-region"), QStringLiteral("0,0,400,300"), QStringLiteral("--learn-background"),
         QStringLiteral("%1,%2,%3,%4").arg(box.x).arg(box.y).arg(box.width).arg(box.height),
         QStringLiteral("--learn-out"), folder_->filePath(QStringLiteral("learnt.txt")),
         folder_->filePath(QStringLiteral("taught.tif"))});
    QVERIFY2(learnt.first, qPrintable(learnt.second));
    const DensityModelReading model = readDensityModelFile(folder / "learnt.model.txt");
    QCOMPARE(model.error, std::string());
    QVERIFY(model.model.hasSampleRange);
    const auto counted = runCounter({QStringLiteral("--params-from"), folder_->filePath(QStringLiteral("learnt.txt")),
                                     QStringLiteral("--density"), QStringLiteral("--out"),
                                     folder_->filePath(QStringLiteral("out")),
                                     folder_->filePath(QStringLiteral("later.tif"))});
    QVERIFY2(counted.first, qPrintable(counted.second));
    const QString counterLearnt = counted.second.section(QLatin1Char('\n'), 0, 0).section(QLatin1Char('\t'), -1);

    // The window: the counter's report opened with its model, then the later picture counted.
    dialogs_->answerNextFileDialog(folder_->filePath(QStringLiteral("learnt.txt")));
    Form1->Savereport1Click();
    QVERIFY(Form2->densityModel().has_value());
    QVERIFY(Form1->openChosenPicture(folder_->filePath(QStringLiteral("later.tif"))));
    Form1->BnCount->click();
    VERIFY_NO_MESSAGE(dialogs_);
    QVERIFY(Form2->learntResult().has_value());
    QCOMPARE(QString::number(learntParticleCount(*Form2->learntResult())), counterLearnt);
    // Mapped by its own percentiles, the later picture has another learnt count.
    setSampleRange(SampleRange{});
    const Picture ownMapping = decodePictureFile(folder / "later.tif", PictureKind::Tiff).picture;
    QVERIFY(!(ownMapping == Form2->layers().Image1));
    QVERIFY(learntParticleCount(*Form2->learntResult()) !=
            learntParticleCount(predictDensity(ownMapping, *Form2->densityModel())));

    // Taught in the window on the same picture, marks, region and box, the model keeps the same
    // mapping as the counter's: it is the counter's model.
    Form2->Forgetteaching1->trigger();
    QVERIFY(Form1->openChosenPicture(folder_->filePath(QStringLiteral("taught.tif"))));
    Form2->Teachmode1->trigger();
    drag(QPoint(region.x, region.y), QPoint(region.x + region.width, region.y + region.height));
    QCOMPARE(Form2->teachingRegion(), region);
    for (const Mark& mark : teaching.marks) click(QPoint(mark.x, mark.y));
    dragBackgroundBox(box);
    QCOMPARE(Form2->backgroundBoxes(), (std::vector<PixelRegion>{box}));
    dialogs_->messages.clear();
    Form2->Learndensity1->trigger();
    QVERIFY(Form2->densityModel().has_value());
    QVERIFY(Form2->densityModel()->hasSampleRange);
    QCOMPARE(Form2->densityModel()->sampleRange, model.model.sampleRange);
    QCOMPARE(densityModelText(*Form2->densityModel()), densityModelText(model.model));
}

QTEST_MAIN(TeachTest)
#include "Teach_test.moc"
