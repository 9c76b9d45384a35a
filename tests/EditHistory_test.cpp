// Undo and redo of manual corrections, removal in a rectangle, and the corrections file with its
// replay: on real counts of synthetic micrographs, without windows.

#include "view/EditHistory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Markers.h"
#include "detect/CountRun.h"
#include "support/SyntheticMicrograph.h"
#include "view/EditsFile.h"
#include "view/ManualEdit.h"

namespace fs = std::filesystem;

namespace {

/// Everything a correction changes, to compare byte for byte.
struct Snapshot {
    Picture image1, image2, image3;
    std::int32_t autoCount = 0;
    std::uint16_t added = 0, removed = 0;
    std::vector<std::string> particles;  // every record's fields as text

    bool operator==(const Snapshot&) const = default;
};

struct Counted {
    Layers layers;
    TAnalysisState state;
    ParticleList particles;
    EditTarget target() { return EditTarget{layers, state, particles}; }
    Snapshot snapshot() const {
        Snapshot shot{layers.Image1,
                      layers.Image2,
                      layers.Image3,
                      state.AutoCount,
                      state.ManualAdded,
                      state.ManualRemoved,
                      {}};
        for (const ParticleRecord& r : particles.particles)
            shot.particles.push_back(std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                                     std::to_string(r.areaPixels) + "," + std::to_string(r.sumRed) + "," +
                                     std::to_string(r.added) + "," + std::to_string(r.removed));
        return shot;
    }
};

/// A counted synthetic micrograph.
Counted countedMicrograph(int width = 600, int height = 450, int particles = 80) {
    MicrographOptions options;
    options.width = width;
    options.height = height;
    options.particles = particles;
    Counted counted;
    counted.layers.Image1 = makeSyntheticMicrograph(options).picture;
    runCount(counted.layers, counted.state, CountParams{}, &counted.particles);
    return counted;
}

/// The counted particles' markers in reading order.
std::vector<MarkerPosition> markers(const Picture& area) {
    std::vector<MarkerPosition> found;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (isCentreMarker(area.row(y) + 3 * x)) found.push_back({std::uint32_t(y), std::uint32_t(x)});
    return found;
}

}  // namespace

// Every kind of step, undone one by one back to the count and redone to the end: each state comes
// back exactly, layers byte for byte, counters and particle records included.
TEST(EditHistory, UndoAndRedoGoBackToTheCountAndForwardExactly) {
    Counted counted = countedMicrograph();
    ASSERT_GT(counted.state.AutoCount, 20);
    const std::vector<MarkerPosition> found = markers(counted.layers.Image3);
    const MarkerPosition first = found.front(), second = found[5], last = found.back();
    EditHistory history;
    history.reset(counted.state.AutoCount);

    std::vector<Snapshot> states{counted.snapshot()};
    const auto step = [&](const char* what, bool made) {
        EXPECT_TRUE(made) << what;
        states.push_back(counted.snapshot());
        EXPECT_NE(states.back(), states[states.size() - 2]) << what << " changed nothing";
    };
    step("add on the ground", history.add(counted.target(), 300, 200));
    step("remove a click off a marker",
         history.removeNear(counted.target(), int(first.column) + 3, int(first.row) - 2));
    step("add on a counted marker", history.add(counted.target(), int(second.column), int(second.row)));
    step("remove there: the added one",
         history.removeNear(counted.target(), int(second.column), int(second.row)));
    step("add in the corner", history.add(counted.target(), 0, 0));
    step("remove in the corner", history.removeNear(counted.target(), 2, 2));
    step("rectangle over the lower half", history.removeInBox(counted.target(), {0, 225, 600, 225}) > 1);
    EXPECT_FALSE(history.removeNear(counted.target(), int(last.column), int(last.row)));  // already gone
    EXPECT_EQ(counted.snapshot(), states.back());

    for (std::size_t i = states.size() - 1; i-- > 0;) {
        ASSERT_TRUE(history.canUndo());
        EXPECT_FALSE(history.undo(counted.target()).empty());
        EXPECT_EQ(counted.snapshot(), states[i]) << "undo back to state " << i;
    }
    EXPECT_FALSE(history.canUndo());
    EXPECT_TRUE(history.undo(counted.target()).empty());
    for (std::size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(history.canRedo());
        history.redo(counted.target());
        EXPECT_EQ(counted.snapshot(), states[i]) << "redo to state " << i;
    }
    EXPECT_FALSE(history.canRedo());
}

// The rectangle removes the markers inside it (right and bottom edges excluded) in reading order,
// each as a removal click on it does, as one step; undone at once.
TEST(EditHistory, RemovalInARectangleIsOneStepInReadingOrder) {
    Counted counted = countedMicrograph();
    const PixelBox box{100, 80, 300, 200};
    std::vector<MarkerPosition> inside;
    for (const MarkerPosition& m : markers(counted.layers.Image3))
        if (int(m.column) >= box.x && int(m.column) < box.x + box.width && int(m.row) >= box.y &&
            int(m.row) < box.y + box.height)
            inside.push_back(m);
    ASSERT_GT(inside.size(), 3u);

    Counted byClicks = counted;  // the same removals made one by one on the markers
    for (const MarkerPosition& m : inside) {
        ASSERT_TRUE(removeMarkerAt(byClicks.layers, byClicks.state, int(m.column), int(m.row)));
        ASSERT_TRUE(byClicks.particles.recordRemove(int(m.column), int(m.row)));
    }
    const Snapshot before = counted.snapshot();
    EditHistory history;
    history.reset(counted.state.AutoCount);
    EXPECT_EQ(history.removeInBox(counted.target(), box), int(inside.size()));
    EXPECT_EQ(counted.snapshot(), byClicks.snapshot());
    std::vector<EditAction> expected;
    for (const MarkerPosition& m : inside)
        expected.push_back({EditAction::Kind::Remove, int(m.column), int(m.row)});
    EXPECT_EQ(history.actionsInEffect(), expected);
    history.undo(counted.target());
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(counted.snapshot(), before);
    // A rectangle without markers, or outside the picture, makes no step.
    history.redo(counted.target());
    EXPECT_EQ(history.removeInBox(counted.target(), box), 0);
    EXPECT_EQ(history.removeInBox(counted.target(), {-50, -50, 20, 20}), 0);
    history.undo(counted.target());
    EXPECT_FALSE(history.canUndo());
}

// A step keeps the pixels it touched, not the layers: its cost does not grow with the picture.
TEST(EditHistory, StepsHoldOnlyTheirOwnPixels) {
    for (const int side : {400, 4000}) {
        Layers layers;
        layers.Image1.resize(side, side * 3 / 4);
        layers.Image2 = layers.Image1;
        layers.Image3 = layers.Image1;
        TAnalysisState state;
        ParticleList particles;
        EditHistory history;
        for (int i = 0; i < 100; ++i) ASSERT_TRUE(history.add({layers, state, particles}, 20 + 3 * i, 50));
        EXPECT_LT(history.bytesHeld(), 100u * 2000u) << side;  // a layer alone is 0.36 or 36 MB
    }
}

// Which corrections count as unsaved: those in effect differ from the ones at the last count or save.
TEST(EditHistory, UnsavedFollowsTheCorrectionsInEffect) {
    struct Row {
        const char* what;
        const char* script;  // a add, u undo, r redo, s save
        bool unsaved;
    };
    const Row rows[] = {
        {"just counted", "", false},
        {"one add", "a", true},
        {"added and undone", "au", false},
        {"saved", "as", false},
        {"saved, then undone", "asu", true},
        {"saved, undone, redone", "asur", false},
        {"saved, undone, another add", "asua", true},
        {"and that undone too", "asuau", true},
    };
    for (const Row& row : rows) {
        Layers layers;
        layers.Image1.resize(60, 40);
        layers.Image2 = layers.Image1;
        layers.Image3 = layers.Image1;
        TAnalysisState state;
        ParticleList particles;
        EditHistory history;
        history.reset(0);
        int x = 10;
        for (const char* c = row.script; *c; ++c) {
            if (*c == 'a') history.add({layers, state, particles}, x += 5, 20);
            if (*c == 'u') history.undo({layers, state, particles});
            if (*c == 'r') history.redo({layers, state, particles});
            if (*c == 's') history.markSaved();
        }
        EXPECT_EQ(history.unsaved(), row.unsaved) << row.what;
    }
}

// The corrections in effect written, read back and made again on a fresh count of the same picture
// give the same layers, counters and records; made on a picture that changed, the ones that find no
// particle are left out and told.
TEST(EditsFile, SavedCorrectionsReplayOnAFreshCount) {
    Counted counted = countedMicrograph();
    const std::vector<MarkerPosition> found = markers(counted.layers.Image3);
    EditHistory history;
    history.reset(counted.state.AutoCount);
    history.add(counted.target(), 50, 60);
    history.removeNear(counted.target(), int(found[3].column) + 1, int(found[3].row) + 1);
    history.removeInBox(counted.target(), {300, 0, 300, 150});
    history.add(counted.target(), 10, 400);
    history.undo(counted.target());  // undone: not saved

    const fs::path folder = fs::temp_directory_path() / ("EditsFile_test_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / editsFileName("c_plate.txt");
    EXPECT_EQ(file.filename(), "c_plate.edits");
    ASSERT_TRUE(writeEditsFile(file, {history.countedParticles(), history.actionsInEffect()}).saved());
    const EditsReading reading = readEditsFile(file);
    ASSERT_EQ(reading.error, "");
    EXPECT_EQ(reading.content.count, history.countedParticles());
    EXPECT_EQ(reading.content.actions, history.actionsInEffect());

    Counted fresh = countedMicrograph();
    EXPECT_EQ(fresh.state.AutoCount, reading.content.count);
    EditHistory replayed;
    replayed.reset(fresh.state.AutoCount);
    const ReplayOutcome outcome = replayEdits(replayed, fresh.target(), reading.content.actions);
    EXPECT_TRUE(outcome.notApplied.empty());
    EXPECT_EQ(outcome.applied, int(reading.content.actions.size()));
    EXPECT_EQ(fresh.snapshot(), counted.snapshot());
    EXPECT_FALSE(replayed.unsaved());

    // The same corrections on a picture that changed: a removal finds no marker.
    Counted changed = countedMicrograph();
    const EditAction remove = reading.content.actions[1];
    ASSERT_EQ(remove.kind, EditAction::Kind::Remove);
    ASSERT_TRUE(removeMarkerAt(changed.layers, changed.state, remove.x, remove.y));
    EditHistory partial;
    const ReplayOutcome some = replayEdits(partial, changed.target(), reading.content.actions);
    EXPECT_EQ(some.notApplied, std::vector<EditAction>{remove});
    EXPECT_EQ(some.applied, int(reading.content.actions.size()) - 1);
    fs::remove_all(folder);
}

// Foreign, damaged or newer files are refused with a message naming the file and the fault.
TEST(EditsFile, RefusesWhatItCannotUse) {
    struct Row {
        const char* text;
        const char* message;  // empty: accepted
    };
    const Row rows[] = {
        {"SpotTally corrections 1\ncount 3\nadd 1 2\nremove 3 4\n", ""},
        {"SpotTally corrections 1\r\ncount 3\r\nadd 1 2\r\n", ""},
        {"SpotTally corrections 1\ncount 0", ""},
        {"", "it is not a SpotTally corrections file."},
        {"<Report file:> c_x.txt\n", "it is not a SpotTally corrections file."},
        {"SpotTally corrections\ncount 3\n", "it is not a SpotTally corrections file."},
        {"SpotTally corrections x\ncount 3\n", "its first line names no format version."},
        {"SpotTally corrections 2\ncount 3\n",
         "it is of format version 2, which this version of SpotTally does not read."},
        {"SpotTally corrections 1\n", "line 2 is missing: it should give the count."},
        {"SpotTally corrections 1\ncount -1\n", "line 2 should give the count, as \"count 212\"."},
        {"SpotTally corrections 1\ncount 3\nadd 1\n",
         "line 3 should be a correction, as \"add X Y\" or \"remove X Y\"."},
        {"SpotTally corrections 1\ncount 3\nadd 1 2\n\nadd 3 4\n",
         "line 4 should be a correction, as \"add X Y\" or \"remove X Y\"."},
        {"SpotTally corrections 1\ncount 3\nremove -1 2\n",
         "line 3 should be a correction, as \"add X Y\" or \"remove X Y\"."},
        {"SpotTally corrections 1\ncount 3\nmove 1 2\n",
         "line 3 should be a correction, as \"add X Y\" or \"remove X Y\"."},
        {"SpotTally corrections 1\ncount 3\nadd 99999999999 2\n",
         "line 3 should be a correction, as \"add X Y\" or \"remove X Y\"."},
    };
    for (const Row& row : rows) {
        const EditsReading reading = parseEditsText(row.text, "c_x.edits");
        if (*row.message == '\0') {
            EXPECT_EQ(reading.error, "") << row.text;
            EXPECT_EQ(reading.content.count,
                      std::string(row.text).find("count 0") == std::string::npos ? 3 : 0)
                << row.text;
        } else {
            EXPECT_EQ(reading.error,
                      std::string("Cannot use the corrections file \"c_x.edits\": ") + row.message)
                << row.text;
            EXPECT_TRUE(reading.content.actions.empty());
        }
    }
    EXPECT_EQ(parseEditsText(rows[0].text, "x").content.actions,
              (std::vector<EditAction>{{EditAction::Kind::Add, 1, 2}, {EditAction::Kind::Remove, 3, 4}}));
    EXPECT_EQ(readEditsFile("/nonexistent/c_x.edits").error,
              "Cannot read the corrections file \"/nonexistent/c_x.edits\": the file does not exist.");
}
