// The filter text of the dialog property becomes Qt's name filters.
#include "QtFileDialog.h"

#include <gtest/gtest.h>

namespace {

TEST(QtFileDialog, FilterTextBecomesNameFilters)
{
    EXPECT_EQ(
        QtFileDialog::nameFilters(
            "Text files (*.txt)|*.txt|GA2 Fixture Profiles (*.gaf)|*.gaf|All Files (*.*)|*.*"),
        (QStringList{"Text files (*.txt)", "GA2 Fixture Profiles (*.gaf)", "All Files (*)"}));
    EXPECT_EQ(QtFileDialog::nameFilters("Pictures|*.png;*.bmp"),
              QStringList{"Pictures (*.png *.bmp)"});
    EXPECT_TRUE(QtFileDialog::nameFilters("").isEmpty());
    EXPECT_TRUE(QtFileDialog::nameFilters("label without pattern").isEmpty());
}

TEST(QtFileDialog, FilterIndexIsOneBasedAndZeroSelectsTheFirst)
{
    EXPECT_EQ(QtFileDialog::filterEntry(0, 3), 0);
    EXPECT_EQ(QtFileDialog::filterEntry(1, 3), 0);
    EXPECT_EQ(QtFileDialog::filterEntry(2, 3), 1);
    EXPECT_EQ(QtFileDialog::filterEntry(3, 3), 2);
    EXPECT_EQ(QtFileDialog::filterEntry(9, 3), 2);
    EXPECT_EQ(QtFileDialog::filterEntry(-4, 3), 0);
}

} // namespace
