// Page attributes: tag values, display defaults and ranges; measuring into settings.
#include <gtest/gtest.h>
#include <tiffio.h>

#include "tiff_builder.h"

namespace zypm_test {
namespace {

class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string path = TempPath("attributes.tif");
        WriteTiff(path, {{.width = 33,
                          .height = 17,
                          .bits = 1,
                          .photometric = PHOTOMETRIC_MINISWHITE,
                          .compression = COMPRESSION_CCITTFAX4},
                         {.width = 5,
                          .height = 6,
                          .bits = 8,
                          .samples = 3,
                          .photometric = PHOTOMETRIC_RGB,
                          .compression = COMPRESSION_LZW}});
        ASSERT_EQ(session.Add(path), ZYPM_OK) << ZypmLastMessage();
        ASSERT_EQ(session.Show(), ZYPM_OK);
        page = session.Lock(0);
    }
    void TearDown() override { session.Unlock(page); }
    Session session;
    ZypmPage page = nullptr;
};

TEST_F(PageTest, ReadsTagsAndDisplayDefaults) {
    struct Case {
        uint32_t attribute;
        int32_t value;
    } cases[] = {
        {ZYPM_ATTR_WIDTH, 33},
        {ZYPM_ATTR_HEIGHT, 17},
        {ZYPM_ATTR_BITS_PER_SAMPLE, 1},
        {ZYPM_ATTR_SAMPLES_PER_PIXEL, 1},
        {ZYPM_ATTR_COMPRESSION, COMPRESSION_CCITTFAX4},
        {ZYPM_ATTR_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE},
        {ZYPM_ATTR_COLOUR_KIND, ZYPM_KIND_BILEVEL},
        {ZYPM_ATTR_ROTATION, 1},
        {ZYPM_ATTR_CONTRAST, 128},
        {ZYPM_ATTR_BRIGHTNESS, 128},
        {ZYPM_ATTR_COLOUR_MODE, ZYPM_COLOUR_AS_IS},
        {ZYPM_ATTR_IMAGE_WIDTH, 0},
        {ZYPM_ATTR_X_OFFSET, 0},
    };
    for (const Case& c : cases) {
        int32_t value = -1;
        EXPECT_EQ(ZypmPageAttrGet(page, c.attribute, &value), ZYPM_OK) << std::hex << c.attribute;
        EXPECT_EQ(value, c.value) << std::hex << c.attribute;
    }
    int32_t value = 0;
    EXPECT_EQ(ZypmPageAttrGet(page, 0x9999, &value), ZYPM_E_ARGUMENT);
}

TEST_F(PageTest, SetsDisplayAttributesInTheirRanges) {
    struct Case {
        uint32_t attribute;
        int32_t value;
        int result;
    } cases[] = {
        {ZYPM_ATTR_ROTATION, 4, ZYPM_OK},
        {ZYPM_ATTR_ROTATION, 0, ZYPM_E_ARGUMENT},
        {ZYPM_ATTR_ROTATION, 5, ZYPM_E_ARGUMENT},
        {ZYPM_ATTR_CONTRAST, 255, ZYPM_OK},
        {ZYPM_ATTR_CONTRAST, 256, ZYPM_E_ARGUMENT},
        {ZYPM_ATTR_BRIGHTNESS, 0, ZYPM_OK},
        {ZYPM_ATTR_BRIGHTNESS, -1, ZYPM_E_ARGUMENT},
        {ZYPM_ATTR_COLOUR_MODE, ZYPM_COLOUR_GREY, ZYPM_OK},
        {ZYPM_ATTR_COLOUR_MODE, 2, ZYPM_E_ARGUMENT},
        {ZYPM_ATTR_IMAGE_WIDTH, ZYPM_MAX_IMAGE_SIZE, ZYPM_OK},
        {ZYPM_ATTR_IMAGE_HEIGHT, ZYPM_MAX_IMAGE_SIZE + 1, ZYPM_E_ARGUMENT},
        {ZYPM_ATTR_Y_OFFSET, -1, ZYPM_E_ARGUMENT},
        {ZYPM_ATTR_WIDTH, 10, ZYPM_E_ARGUMENT},  // read-only
    };
    for (const Case& c : cases) {
        int32_t before = 0, after = 0;
        ZypmPageAttrGet(page, c.attribute, &before);
        EXPECT_EQ(ZypmPageAttrSet(page, c.attribute, c.value), c.result)
            << std::hex << c.attribute << " " << c.value;
        ZypmPageAttrGet(page, c.attribute, &after);
        EXPECT_EQ(after, c.result == ZYPM_OK ? c.value : before) << std::hex << c.attribute;
    }
}

TEST_F(PageTest, DisplayAttributesStayWithThePageOfTheView) {
    ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_ROTATION, 3), ZYPM_OK);
    ZypmPage second = session.Lock(1);
    int32_t rotation = 0;
    EXPECT_EQ(ZypmPageAttrGet(second, ZYPM_ATTR_ROTATION, &rotation), ZYPM_OK);
    EXPECT_EQ(rotation, 1);
    session.Unlock(second);
    ZypmPage again = session.Lock(0);
    EXPECT_EQ(ZypmPageAttrGet(again, ZYPM_ATTR_ROTATION, &rotation), ZYPM_OK);
    EXPECT_EQ(rotation, 3);
    session.Unlock(again);
}

TEST_F(PageTest, MeasureFillsTheSlot) {
    ZypmSettings settings = nullptr;
    ASSERT_EQ(ZypmSettingsNew(&settings, 1), ZYPM_OK);
    EXPECT_EQ(ZypmPageMeasure(session.view, page, settings, 1, 0, nullptr), ZYPM_E_RANGE);
    EXPECT_EQ(ZypmPageMeasure(session.view, page, settings, 0, 1, nullptr), ZYPM_E_ARGUMENT);
    ZypmPage second = session.Lock(1);
    ASSERT_EQ(ZypmPageMeasure(session.view, second, settings, 0, 0, nullptr), ZYPM_OK);
    int32_t width = 0, samples = 0, kind = 0;
    EXPECT_EQ(ZypmSettingsAttrGet(settings, 0, ZYPM_ATTR_WIDTH, &width), ZYPM_OK);
    EXPECT_EQ(ZypmSettingsAttrGet(settings, 0, ZYPM_ATTR_SAMPLES_PER_PIXEL, &samples), ZYPM_OK);
    EXPECT_EQ(ZypmSettingsAttrGet(settings, 0, ZYPM_ATTR_COLOUR_KIND, &kind), ZYPM_OK);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(kind, ZYPM_KIND_RGB);
    // A slot holds no compression, photometric or display attribute.
    for (uint32_t attribute : {ZYPM_ATTR_COMPRESSION, ZYPM_ATTR_PHOTOMETRIC, ZYPM_ATTR_ROTATION}) {
        int32_t value = -7;
        EXPECT_EQ(ZypmSettingsAttrGet(settings, 0, attribute, &value), ZYPM_E_ARGUMENT) << attribute;
        EXPECT_EQ(value, -7) << attribute;
    }
    session.Unlock(second);
    ZypmSettingsFree(settings);
}

}  // namespace
}  // namespace zypm_test
