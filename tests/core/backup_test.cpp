#include "core/world.h"

namespace velno::testing {
namespace {

// An older or equally old saved image is replaced (read-only or not); a
// newer one only when the user says Yes to the question.
TEST(Backup, ANewerSavedImageIsReplacedOnlyWhenTheUserSaysYes) {
    struct Case {
        int saved_time;
        unsigned saved_attributes;
        std::optional<Answer> answer;
        bool replaced;
    };
    const Case cases[] = {{99, 0, {}, true},
                          {100, platform::kAttrReadOnly, {}, true},
                          {200, platform::kAttrReadOnly, Answer::kYes, true},
                          {200, 0, Answer::kNo, false},
                          {200, 0, Answer::kClosed, false}};
    const std::string question(update::kOverwriteQuestion);
    for (const Case& c : cases) {
        World w;
        w.PositionList("");
        w.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "saved", At(c.saved_time),
                       c.saved_attributes);
        if (c.answer) {  // asked while the window says to wait
            w.user.Answer(*c.answer, [&] { w.ExpectState(kPreparing); });
        }
        w.Run();
        SCOPED_TRACE(c.saved_time);
        EXPECT_EQ(w.user.messages, std::vector<std::string>(c.answer ? 1 : 0, question));
        EXPECT_EQ(w.log.Contains("ShowMessage " + question + " |YesNo|none"), c.answer.has_value());
        EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4main.mem"),
                  c.replaced ? "main image" : "saved");
        EXPECT_EQ(w.Content("E:\\Veln4main.mem"), c.replaced ? "<absent>" : "main image");
        EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4user.mem"), "user image");
        EXPECT_FALSE(w.log.Contains("CreateFolder"));
        EXPECT_TRUE(w.form.Completed());
    }
}

}  // namespace
}  // namespace velno::testing
