// zogdi against the table of results that Wine's GDI produced for the
// standard cases (tests/gdi/data/gdi_reference.txt, see gdi/tools).
#include "zogdi_backend.h"

#include <gtest/gtest.h>

#include <map>

namespace {

struct Tally {
    long compared = 0;
    std::vector<std::string> mismatches;
};

// Runs every row of the given kinds; text may differ by `slack` pixels.
Tally runKinds(const std::vector<ReferenceRow>& rows, const std::string& kinds, int slack) {
    ZoGdiBackend backend;
    Tally t;
    for (const ReferenceRow& row : rows) {
        if (kinds.find(row.caseText[0]) == std::string::npos)
            continue;
        ++t.compared;
        const std::string actual = refcase::run(backend, row.caseText);
        if (!refcase::same(row.caseText, row.result, actual, slack))
            t.mismatches.push_back(row.caseText + "\n  wine  " + row.result + "\n  zogdi " + actual);
    }
    return t;
}

std::string firstFew(const Tally& t) {
    std::string s;
    for (size_t i = 0; i < t.mismatches.size() && i < 8; ++i)
        s += t.mismatches[i] + "\n";
    return s;
}

class Reference : public ::testing::Test {
protected:
    static void SetUpTestSuite() { rows_ = new std::vector<ReferenceRow>(loadReference()); }
    static void TearDownTestSuite() {
        delete rows_;
        rows_ = nullptr;
    }
    static const std::vector<ReferenceRow>& rows() { return *rows_; }
    static std::vector<ReferenceRow>* rows_;
};
std::vector<ReferenceRow>* Reference::rows_ = nullptr;

TEST_F(Reference, TableHoldsTheStandardCasesInOrder) {
    const std::vector<std::string> cases = refcase::standardCases();
    ASSERT_EQ(rows().size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i)
        ASSERT_EQ(rows()[i].caseText, cases[i]) << "row " << i;
}

struct KindCase {
    const char* name;
    const char* kinds;
    int slack;
    long minimum; // guards against a table that silently compares little
};

class ReferenceKind : public Reference, public ::testing::WithParamInterface<KindCase> {};

TEST_P(ReferenceKind, MatchesWine) {
    const KindCase& k = GetParam();
    const Tally t = runKinds(rows(), k.kinds, k.slack);
    EXPECT_GE(t.compared, k.minimum);
    EXPECT_EQ(t.mismatches.size(), 0u) << t.mismatches.size() << " of " << t.compared << " differ:\n" << firstFew(t);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReferenceKind,
                         ::testing::Values(KindCase{"Lines", "L", 0, 5800}, KindCase{"Traces", "P", 0, 30},
                                           KindCase{"Rectangles", "F", 0, 80}, KindCase{"Colours", "K", 0, 20},
                                           KindCase{"TextBoxes", "T", 1, 350}),
                         [](const ::testing::TestParamInfo<KindCase>& i) { return std::string(i.param.name); });

// The comparison must notice a single wrong pixel, row or colour.
TEST_F(Reference, AlteredResultsAreCaught) {
    ZoGdiBackend backend;
    struct Alteration {
        const char* caseText;
        const char* wrong;
    };
    const Alteration alterations[] = {
        {"L 33 33 16 16 32 24", "16,16 17,16 18,17 19,17 20,18 21,18 22,19 23,19 24,20 25,20 26,21 27,21 28,22 29,22 30,23 31,24"},
        {"F 16 16 2 3 6 8", "2,3+4 2,4+4 2,5+4 2,6+4 2,7+4 2,8+4"},
        {"K 00563412", "pen 00563412 brush 00123456"},
        {"T 200 60 12 2 2 100 30 \"0.43\"", "box 80 30 99 43 ink 81 32 99 40"},
    };
    for (const Alteration& a : alterations) {
        const std::string actual = refcase::run(backend, a.caseText);
        EXPECT_FALSE(refcase::same(a.caseText, a.wrong, actual, 1)) << a.caseText << " -> " << actual;
    }
}

} // namespace
