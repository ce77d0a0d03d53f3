#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/command_line.h"

namespace qm {
namespace {

std::string job_of(const std::string& line)
{
    char out[PathBufferSize];
    std::memset(out, 'z', sizeof out);
    take_print_path(line.c_str(), out, sizeof out);
    return out;
}

TEST(CommandLine, takes_nothing_without_the_option)
{
    EXPECT_EQ(job_of("QMSpooler.exe"), "");
    EXPECT_EQ(job_of("\"C:\\Program Files\\QM\\QMSpooler.exe\""), "");
    EXPECT_EQ(job_of("\"C:\\Program Files\\QM\\QMSpooler.exe\" "), "");
    // The option is "-t" with a space after it, in lower case.
    EXPECT_EQ(job_of("QMSpooler.exe -tC:\\job.pdb"), "");
    EXPECT_EQ(job_of("QMSpooler.exe -T C:\\job.pdb"), "");
    EXPECT_EQ(job_of(""), "");
}

TEST(CommandLine, unquoted_path_keeps_spaces_and_every_character)
{
    EXPECT_EQ(job_of("C:\\QM\\QMSpooler.exe -t C:\\My Jobs\\job 1.pdb"), "C:\\My Jobs\\job 1.pdb");
    EXPECT_EQ(job_of("QMSpooler.exe -t job.pdb "), "job.pdb ");
}

TEST(CommandLine, unquoted_job_after_quoted_program_keeps_its_last_character)
{
    // How Windows starts programs from shortcuts: the program path quoted, the job path not.
    EXPECT_EQ(job_of("\"C:\\Program Files\\QM\\QMSpooler.exe\" -t C:\\jobs\\job.pdb"),
              "C:\\jobs\\job.pdb");
}

TEST(CommandLine, quoted_job_path_arrives_without_its_quotes)
{
    EXPECT_EQ(job_of("\"C:\\QM\\QMSpooler.exe\" -t \"C:\\a b\\job.pdb\""), "C:\\a b\\job.pdb");
    EXPECT_EQ(job_of("QMSpooler.exe -t \"C:\\a b\\job.pdb\""), "C:\\a b\\job.pdb");
}

TEST(CommandLine, line_quoted_as_a_whole_loses_only_the_closing_quote)
{
    EXPECT_EQ(job_of("\"C:\\QM\\QMSpooler.exe -t C:\\jobs\\job.pdb\""), "C:\\jobs\\job.pdb");
    EXPECT_EQ(job_of("\"C:\\QM\\QMSpooler.exe -t \""), "");
    EXPECT_EQ(job_of("\"C:\\QM\\QMSpooler.exe\" -t "), "");
}

TEST(CommandLine, option_inside_the_program_folder_name_is_not_a_job)
{
    EXPECT_EQ(job_of("\"C:\\my-t tools\\QMSpooler.exe\""), "");
    EXPECT_EQ(job_of("\"C:\\my-t tools\\QMSpooler.exe\" -t C:\\job.pdb"), "C:\\job.pdb");
    EXPECT_EQ(job_of("\"C:\\my-t tools\\QMSpooler.exe -t C:\\job.pdb\""), "C:\\job.pdb");
    EXPECT_EQ(job_of("C:\\my-t tools\\QMSpooler.exe -t C:\\job.pdb"), "C:\\job.pdb");
}

TEST(CommandLine, holds_paths_up_to_the_room_of_the_last_job_path)
{
    const std::string longest(PathBufferSize - 1, 'p');
    EXPECT_EQ(job_of("QMSpooler.exe -t " + longest), longest);
    // One more character would not fit: a cut path would name another file, so none is taken.
    EXPECT_EQ(job_of("QMSpooler.exe -t " + longest + "q"), "");

    char small[8];
    EXPECT_FALSE(take_print_path("QMSpooler.exe -t abcdefgh", small, sizeof small));
    EXPECT_STREQ(small, "");
    EXPECT_TRUE(take_print_path("QMSpooler.exe -t abcdefg", small, sizeof small));
    EXPECT_STREQ(small, "abcdefg");
}

} // namespace
} // namespace qm
