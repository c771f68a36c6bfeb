// The filter graph: how it is obtained and given back, and loading one clip into it.
#include <functional>

#include "test_movie_fixture.h"

namespace {

const char* const kCreateLine = "CoCreateInstance CLSID_FilterGraph 1 IID_IGraphBuilder";

// The interfaces asked of the graph manager, in the order they must be asked.
const char* const kQueryOrder[] = {"IMediaControl", "IVideoWindow", "IBasicAudio", "IMediaSeeking", "IMediaEvent"};

// Fields in the order shutdown gives them back.
std::vector<std::pair<std::string, const void*>> releaseOrderFields(const PlayerApp& App) {
    return {{"mediaControl", App.mediaControl}, {"basicAudio", App.basicAudio},
            {"videoWindow", App.videoWindow},   {"mediaSeeking", App.mediaSeeking},
            {"mediaEvent", App.mediaEvent},     {"graphBuilder", App.graphBuilder}};
}

// The fields still held, in release order, as one line.
std::string heldFields(const PlayerApp& App) {
    std::string Held;
    for (const auto& Field : releaseOrderFields(App))
        if (Field.second) Held += (Held.empty() ? "" : " ") + Field.first;
    return Held;
}

Lines linesStartingWith(const Lines& All, const std::vector<std::string>& Prefixes) {
    Lines Kept;
    for (const std::string& Line : All)
        for (const std::string& Prefix : Prefixes)
            if (Line.compare(0, Prefix.size(), Prefix) == 0) {
                Kept.push_back(Line);
                break;
            }
    return Kept;
}

}  // namespace

// --- createMovieGraph and the graph half of shutdown --------------------------------

class MovieGraphCreate : public PlayerTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer(false);
    }
};

// Param: the step that fails; 0 CoCreateInstance, 1 to 5 the queries in order, 6 none.
TEST_P(MovieGraphCreate, StopsAtTheFirstFailureKeepingWhatItHasAndShutdownReleasesInOrder) {
    const int FailingStep = GetParam();
    if (FailingStep == 0) fwrecord::dshow().createInstanceResult = REGDB_E_CLASSNOTREG;
    if (FailingStep >= 1 && FailingStep <= 5)
        fwrecord::dshow().queryInterfaceResults[kQueryOrder[FailingStep - 1]] = E_NOINTERFACE;

    EXPECT_EQ(app->createMovieGraph(), FailingStep == 6 ? 1 : 0);

    Lines Expected = {kCreateLine};
    for (int k = 1; k <= 5 && k <= FailingStep; ++k) Expected.push_back(std::string("QueryInterface ") + kQueryOrder[k - 1]);
    EXPECT_EQ(takeCalls(), Expected);

    void* const QueryFields[] = {app->mediaControl, app->videoWindow, app->basicAudio, app->mediaSeeking,
                                 app->mediaEvent};
    EXPECT_EQ(app->graphBuilder != nullptr, FailingStep > 0);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(QueryFields[k] != nullptr, k + 1 < FailingStep) << kQueryOrder[k];

    // Shutdown: at each release the fields released before are null, the rest still held.
    Lines HeldAtRelease;
    fwrecord::onCall = [this, &HeldAtRelease](const std::string& Line) {
        if (Line.compare(0, 13, "Release graph") == 0) HeldAtRelease.push_back(heldFields(*app));
    };
    std::vector<std::pair<std::string, const void*>> Fields = releaseOrderFields(*app);
    app->shutDown();
    fwrecord::onCall = nullptr;

    Lines ExpectedHeld;
    for (size_t First = 0; First < Fields.size(); ++First) {
        if (!Fields[First].second) continue;
        std::string Held;
        for (size_t k = First; k < Fields.size(); ++k)
            if (Fields[k].second) Held += (Held.empty() ? "" : " ") + Fields[k].first;
        ExpectedHeld.push_back(Held);
    }
    EXPECT_EQ(HeldAtRelease, ExpectedHeld);
    EXPECT_EQ(heldFields(*app), "");
    EXPECT_EQ(fwrecord::dshow().liveObjects, 0);

    Lines GraphCalls = linesStartingWith(takeCalls(), {"put_", "Stop", "Release", "CoUninitialize"});
    Lines ExpectedCalls;
    const bool HadVideoWindow = FailingStep > 2;
    const bool HadMediaControl = FailingStep > 1;
    if (HadVideoWindow) ExpectedCalls = {"put_Visible 0", "put_Owner null"};
    if (HadMediaControl) ExpectedCalls.push_back("Stop");
    for (size_t k = 0; k < ExpectedHeld.size(); ++k)
        ExpectedCalls.push_back("Release graph " + std::to_string(ExpectedHeld.size() - 1 - k));
    ExpectedCalls.push_back("CoUninitialize");
    EXPECT_EQ(GraphCalls, ExpectedCalls);

    // The destructor's second shutdown finds nothing left to give back.
    app->shutDown();
    EXPECT_EQ(linesStartingWith(takeCalls(), {"put_", "Stop", "Release"}), Lines());
}

INSTANTIATE_TEST_SUITE_P(MovieEachStep, MovieGraphCreate, ::testing::Range(0, 7));

// --- loadMovie ------------------------------------------------------------------------

class MovieLoad : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer(true);
        app->itemCount = 2;
        setItem(0, 0, 5);
        setItem(1, 3, 9);
        app->volume = -1234;
    }
};

TEST_F(MovieLoad, EmptiesTheGraphOneFilterAtATimeThenBuildsPlacesRewindsAndShows) {
    for (int Filters : {0, 1, 3}) {
        SCOPED_TRACE(Filters);
        fwrecord::dshow().filtersPerRender = Filters;
        ASSERT_EQ(app->loadMovie(1, 2), 1);  // whatever the graph held, now Filters
        takeCalls();
        app->duration = 1;
        app->clipPlayCount = 7;
        fwrecord::dshow().duration = 4242;

        ASSERT_EQ(app->loadMovie(1, 2), 1);
        EXPECT_EQ(takeCalls(), loadLines(clipPath(1, 2), Filters, -1234));
        EXPECT_EQ(app->duration, 4242);
        EXPECT_EQ(app->clipPlayCount, 0);
        // Removed filters and the enumerator are given back: the graph and its new filters remain.
        EXPECT_EQ(fwrecord::dshow().filterCount, Filters);
        EXPECT_EQ(fwrecord::dshow().liveObjects, 1 + Filters);
    }
}

TEST_F(MovieLoad, FirstLoadFindsNoFilterAndUnlocksOnlyItsClipBeforeOpeningTheFile) {
    int FlagAtRender = -1;
    fwrecord::onCall = [this, &FlagAtRender](const std::string& Line) {
        if (Line.compare(0, 10, "RenderFile") == 0) FlagAtRender = app->unlockFlags[10];
    };
    ASSERT_EQ(app->loadMovie(1, 1), 1);
    fwrecord::onCall = nullptr;
    EXPECT_EQ(takeCalls(), loadLines(clipPath(1, 1), 0, -1234));
    EXPECT_EQ(FlagAtRender, 1);
    for (int k = 0; k < MAX_TABLE_CLIPS; ++k) EXPECT_EQ(app->unlockFlags[k], k == 10 ? 1 : 0) << k;
    // The caller names the clip; loading does not.
    EXPECT_EQ(app->currentItem, 0);
    EXPECT_EQ(app->currentClip, 0);
}

TEST_F(MovieLoad, WithoutAnEnumeratorTheTearDownIsSkipped) {
    fwrecord::dshow().enumFiltersResult = E_FAIL;
    ASSERT_EQ(app->loadMovie(0, 0), 1);
    Lines Expected = loadLines(clipPath(0, 0), 0, -1234);
    Expected.erase(Expected.begin() + 2, Expected.begin() + 4);  // no Next, no enumerator release
    EXPECT_EQ(takeCalls(), Expected);
}

TEST_F(MovieLoad, PositiveResultsOfTheTestedStepsCountAsSuccess) {
    fwrecord::dshow().renderFileResults[clipPath(0, 0)] = S_FALSE;
    fwrecord::dshow().putOwnerResult = S_FALSE;
    fwrecord::dshow().putWindowStyleResult = S_FALSE;
    fwrecord::dshow().setWindowPositionResult = S_FALSE;
    EXPECT_EQ(app->loadMovie(0, 0), 1);
    EXPECT_EQ(takeCalls(), loadLines(clipPath(0, 0), 0, -1234));
}

struct LoadFailure {
    const char* step;       // the line of the failing call, up to its first space
    std::function<void()> fail;
};

class MovieLoadFailure : public MovieLoad, public ::testing::WithParamInterface<int> {};

const LoadFailure kLoadFailures[] = {
    {"RenderFile", [] { fwrecord::dshow().renderFileResults[clipPath(1, 0)] = VFW_E_NOT_FOUND; }},
    {"put_Owner", [] { fwrecord::dshow().putOwnerResult = E_FAIL; }},
    {"put_WindowStyle", [] { fwrecord::dshow().putWindowStyleResult = E_INVALIDARG; }},
    {"SetWindowPosition", [] { fwrecord::dshow().setWindowPositionResult = E_FAIL; }},
    {"GetDuration", [] { fwrecord::dshow().getDurationResult = E_NOTIMPL; }},
};

TEST_P(MovieLoadFailure, ReturnsAtOnceWithTheFlagSetAndNothingUndone) {
    const LoadFailure& Failure = kLoadFailures[GetParam()];
    SCOPED_TRACE(Failure.step);
    fwrecord::dshow().filtersPerRender = 2;
    ASSERT_EQ(app->loadMovie(0, 0), 1);
    takeCalls();
    app->duration = 55;
    app->clipPlayCount = 4;
    Failure.fail();

    EXPECT_EQ(app->loadMovie(1, 0), 0);

    Lines Expected = loadLines(clipPath(1, 0), 2, -1234);
    std::string Step = Failure.step;
    size_t Last = 0;
    while (Expected[Last].compare(0, Step.size() + 1, Step + " ") != 0 && Expected[Last] != Step) ++Last;
    Expected.resize(Last + 1);
    EXPECT_EQ(takeCalls(), Expected);
    EXPECT_EQ(app->unlockFlags[9], 1);
    EXPECT_EQ(app->duration, 55);
    EXPECT_EQ(app->clipPlayCount, 4);
    EXPECT_TRUE(fwrecord::win32().messageBoxes.empty());  // the caller's to show
}

INSTANTIATE_TEST_SUITE_P(MovieEachTestedStep, MovieLoadFailure, ::testing::Range(0, 5));

struct PathCase {
    const char* name;
    std::string bytes;  // the table's path, code page 932
    std::string utf8;   // what RenderFile must be given
};

class MovieLoadPath : public MovieLoad, public ::testing::WithParamInterface<PathCase> {};

TEST_P(MovieLoadPath, IsDecodedAsCodePage932) {
    const PathCase& Case = GetParam();
    ASSERT_LT(Case.bytes.size(), sizeof(app->playItems[0].clips[0].path));
    std::memset(app->playItems[0].clips[0].path, 0, sizeof(app->playItems[0].clips[0].path));
    std::memcpy(app->playItems[0].clips[0].path, Case.bytes.data(), Case.bytes.size());

    ASSERT_EQ(app->loadMovie(0, 0), 1);
    EXPECT_EQ(fwrecord::callsStartingWith("RenderFile"), Lines{"RenderFile " + Case.utf8});
}

INSTANTIATE_TEST_SUITE_P(
    MoviePaths, MovieLoadPath,
    ::testing::Values(
        PathCase{"Ascii", "Movie/clip 01.avi", "Movie/clip 01.avi"},
        // ムービー表: a trail byte of 0x5C belongs to its character, not a backslash.
        PathCase{"ShiftJis", "Movie\\\x83\x80\x81[\x83r\x81[\x95\x5C.avi",
                 "Movie\\\xE3\x83\xA0\xE3\x83\xBC\xE3\x83\x93\xE3\x83\xBC\xE8\xA1\xA8.avi"},
        // ｱｲ: single-byte katakana.
        PathCase{"HalfWidthKana", "\xB1\xB2.mpg", "\xEF\xBD\xB1\xEF\xBD\xB2.mpg"},
        PathCase{"Longest", std::string(255, 'a') + ".avi", std::string(255, 'a') + ".avi"},
        // ソ表 at the very end of the longest path.
        PathCase{"LongestEndingInShiftJis", std::string(255, 'b') + "\x83\x5C\x95\x5C",
                 std::string(255, 'b') + "\xE3\x82\xBD\xE8\xA1\xA8"}),
    [](const ::testing::TestParamInfo<PathCase>& Info) { return std::string(Info.param.name); });
