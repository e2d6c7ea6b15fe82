#include "core/world.h"

namespace velno::testing {
namespace {

// Only visible or read-only files named Veln4*.mem in the root move, into a
// folder created once.
TEST(Backup, ImagesMoveIntoAFolderCreatedOnce) {
    World w;
    w.PositionList("");
    w.host.AddFile("E:\\Veln4.mem", "empty run of characters", At(100));
    w.host.AddFile("E:\\Veln4readonly.mem", "r", At(1), platform::kAttrReadOnly);
    const std::pair<const char*, unsigned> stay[] = {
        {"E:\\Veln5main.mem", 0},
        {"E:\\Veln4main.memo", 0},
        {"E:\\mtmp\\Veln4sub.mem", 0},
        {"E:\\Veln4hidden.mem", platform::kAttrHidden},
        {"E:\\Veln4system.mem", platform::kAttrSystem}};
    for (const auto& [path, attributes] : stay) {
        w.host.AddFile(path, "stays", At(100), attributes);
    }
    w.host.AddFolder("E:\\Veln4dir.mem");
    w.Run();

    EXPECT_EQ(w.log.Count("CreateFolder E:\\system\\OldRel"), 1);
    for (const auto& [name, content] : {std::pair{"Veln4main.mem", "main image"},
                                        {"Veln4user.mem", "user image"},
                                        {"Veln4.mem", "empty run of characters"},
                                        {"Veln4readonly.mem", "r"}}) {
        EXPECT_EQ(w.Content(std::string("E:\\system\\OldRel\\") + name), content);
        EXPECT_FALSE(w.host.Find(std::string("E:\\") + name)) << name;
    }
    for (const auto& file : stay) {
        EXPECT_EQ(w.Content(file.first), "stays");
    }
    EXPECT_TRUE(w.host.HasFolder("E:\\Veln4dir.mem"));
    EXPECT_TRUE(w.user.messages.empty());
}

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
        if (c.answer) {
            w.user.Answer(*c.answer);
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
