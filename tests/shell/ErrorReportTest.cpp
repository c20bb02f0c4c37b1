#include "shell/ErrorReport.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

#include <stdexcept>

using shell::Procedure;

namespace {

const QString kContext = "in Vellomar2021/08/31.Form1.PushButton3_Click ";

void helperWithoutReport() { throw std::runtime_error("File not found"); }

// A procedure with its own report, as a called module procedure would be.
void procedureWithReport(platform::MessageBoxes& boxes, std::vector<int>& ran) {
    Procedure p(boxes, "in Vellomar2021/08/31.Paradox.CopyDB ");
    p.step(100, [&] { throw std::runtime_error("Path not found"); });
    p.step(102, [&] { ran.push_back(102); });
}

}  // namespace

TEST(ErrorReport, TextAndBoxAreExact) {
    fakes::FakeMessageBoxes boxes;
    Procedure p(boxes, kContext);
    p.step(100, [] { throw std::runtime_error("Permission denied"); });

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              "Permission denied\r\nin Vellomar2021/08/31.Form1.PushButton3_Click at line 100\r\r"
              "Please email screenshot of this message to support@quillmark.example");
    EXPECT_EQ(boxes.shown[0].title, "Application Error");
    EXPECT_EQ(boxes.shown[0].buttons, platform::Buttons::Ok);
    EXPECT_EQ(boxes.shown[0].icon, platform::Icon::Exclamation);
}

TEST(ErrorReport, EmptyDescriptionStillStartsWithTheLineBreak) {
    fakes::FakeMessageBoxes boxes;
    Procedure p(boxes, kContext);
    p.step(104, [] { throw std::runtime_error(""); });
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("\r\nin Vellomar2021/08/31.Form1.PushButton3_Click at line 104\r\r"));
}

TEST(ErrorReport, TwoFailingStepsGiveTwoReportsInOrderAndTheProcedureGoesOn) {
    fakes::FakeMessageBoxes boxes;
    Procedure p(boxes, kContext);
    std::vector<int> ran;
    EXPECT_FALSE(p.step(100, [] { throw std::runtime_error("first"); }));
    EXPECT_FALSE(p.step(102, [] { throw std::runtime_error("second"); }));
    EXPECT_TRUE(p.step(104, [&] { ran.push_back(104); }));

    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("first\r\n"));
    EXPECT_TRUE(boxes.shown[0].text.contains("at line 100\r\r"));
    EXPECT_TRUE(boxes.shown[1].text.startsWith("second\r\n"));
    EXPECT_TRUE(boxes.shown[1].text.contains("at line 102\r\r"));
    EXPECT_EQ(ran, std::vector<int>{104});
}

TEST(ErrorReport, FailingConditionRunsTheBranchForAHoldingCondition) {
    fakes::FakeMessageBoxes boxes;
    Procedure p(boxes, kContext);
    bool branchRan = false;
    if (p.test(102, []() -> bool { throw std::runtime_error("Bad file name"); })) branchRan = true;
    EXPECT_TRUE(branchRan);
    EXPECT_EQ(boxes.shown.size(), 1u);

    EXPECT_FALSE(p.test(104, [] { return false; }));
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST(ErrorReport, HelperFailureIsReportedWithTheCallersContextAndStep) {
    fakes::FakeMessageBoxes boxes;
    Procedure p(boxes, "in Vellomar2021/08/31.Form1.PushButton2_Click ");
    p.step(100, [] {});
    p.step(102, [] { helperWithoutReport(); });
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.section("\r\n", 1, 1).section("\r", 0, 0),
              "in Vellomar2021/08/31.Form1.PushButton2_Click at line 102");
}

TEST(ErrorReport, CalledProcedureWithItsOwnReportNeverReachesTheCaller) {
    fakes::FakeMessageBoxes boxes;
    Procedure caller(boxes, kContext);
    std::vector<int> ran;
    EXPECT_TRUE(caller.step(100, [&] { procedureWithReport(boxes, ran); }));
    caller.step(102, [&] { ran.push_back(2102); });

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains("in Vellomar2021/08/31.Paradox.CopyDB at line 100"));
    EXPECT_EQ(ran, (std::vector<int>{102, 2102}));
}

TEST(ErrorReport, ReportNamesTheLastStepThatBegan) {
    fakes::FakeMessageBoxes boxes;
    Procedure p(boxes, kContext);
    p.step(110, [&] {
        for (int i = 0; i < 2; ++i) p.step(112, [] {});
        throw std::runtime_error("after the loop");
    });
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains("at line 112\r\r"));
}
