// The reticle widget on the toolkit: registration, its properties through
// the widget calls, and what it paints into the framebuffer.
#include "general_reticle.h"
#include "general_reticle_marks.h"

#include <gtest/gtest.h>

#include <string>

#include "awtk.h"
#include "awtk_host.h"

namespace {

const rgba_t GREY = {0x80, 0x80, 0x80, 0xff};

class GeneralReticle : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(awtk_test_init(1280, 1024, RETICLE_FIXTURES), RET_OK);
        ASSERT_EQ(general_reticle_register(), RET_OK);
        win = window_open("reticle_window");
        ASSERT_NE(win, nullptr);
        reticle = widget_lookup(win, "general_reticle", TRUE);
        ASSERT_NE(reticle, nullptr);
        awtk_test_pump();
    }
    void TearDown() override { tk_exit(); }

    rgba_t pixel(int x, int y)
    {
        wh_t w = 0, h = 0;
        const uint8_t *fb = awtk_host_framebuffer(&w, &h);
        const uint8_t *p = fb + ((size_t)y * (size_t)w + (size_t)x) * 4;
        return rgba_t{p[0], p[1], p[2], p[3]};
    }
    static bool same(rgba_t a, rgba_t b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

    /* Every pixel of the screen: inside one of rects it has colour, outside
     * all of them the background. Returns the number of wrong pixels. */
    int count_wrong(const general_reticle_rect_t *rects, int n, rgba_t colour)
    {
        awtk_host_render();
        int wrong = 0;
        for (int y = 0; y < 1024; y++)
            for (int x = 0; x < 1280; x++) {
                bool in = false;
                for (int i = 0; i < n; i++)
                    in = in || (x >= rects[i].x && x < rects[i].x + rects[i].w && y >= rects[i].y &&
                                y < rects[i].y + rects[i].h);
                if (!same(pixel(x, y), in ? colour : GREY)) wrong++;
            }
        return wrong;
    }

    widget_t *win = nullptr;
    widget_t *reticle = nullptr;
};

TEST_F(GeneralReticle, PlainCrossAtZoomHundredPaintsExactlyItsTwoBars)
{
    const general_reticle_rect_t cross[] = {{630, 511, 20, 2}, {639, 502, 2, 20}};
    const rgba_t red = {0xff, 0, 0, 0xff};
    EXPECT_EQ(count_wrong(cross, 2, red), 0);
}

TEST_F(GeneralReticle, EveryTypePaintsTheRectanglesOfItsMarks)
{
    const rgba_t white = {0xff, 0xff, 0xff, 0xff};
    widget_set_prop_int(reticle, "reticle_color", 0);
    for (int zoom : {0, 100, 250}) {
        for (int type = 0; type <= 6; type++) {
            widget_set_prop_int(reticle, "zoom", zoom);
            widget_set_prop_int(reticle, "reticle_type", type);
            general_reticle_geometry_t g = {type, zoom, 1000, 0, 1280, 1024};
            general_reticle_rect_t rects[GENERAL_RETICLE_MARKS_MAX];
            int n = general_reticle_marks(&g, rects, GENERAL_RETICLE_MARKS_MAX);
            EXPECT_EQ(count_wrong(rects, n, white), 0) << "type " << type << " zoom " << zoom;
        }
    }
}

TEST_F(GeneralReticle, ColoursByNumberAndBlackForAnyOther)
{
    struct Row {
        int colour;
        rgba_t expect;
    } rows[] = {
        {0, {0xff, 0xff, 0xff, 0xff}}, {1, {0, 0, 0, 0xff}}, {2, {0, 0xff, 0, 0xff}}, {3, {0xff, 0, 0, 0xff}},
        {4, {0, 0, 0xff, 0xff}},       {5, {0, 0, 0, 0xff}}, {7, {0, 0, 0, 0xff}},    {-1, {0, 0, 0, 0xff}},
    };
    for (const Row &r : rows) {
        ASSERT_EQ(widget_set_prop_int(reticle, "reticle_color", r.colour), RET_OK);
        awtk_host_render();
        rgba_t got = pixel(635, 511);
        EXPECT_TRUE(same(got, r.expect)) << "colour " << r.colour << " got " << (int)got.r << "," << (int)got.g << ","
                                         << (int)got.b;
    }
}

TEST_F(GeneralReticle, PropertiesFromTheResourceAndTheirDefaults)
{
    struct Row {
        const char *name;
        int32_t value;
    } rows[] = {
        {"c_prop", 0},        {"c_prop1", 0},         {"zoom", 100},       {"reticle_type", 5},
        {"reticle_color", 3}, {"resolution_x", 1000}, {"resolution_y", 0}, {"c_prop7", 0},
        {"c_prop8", 0},       {"c_prop9", -7},        {"c_prop10", 0},     {"c_prop11", 0},
    };
    for (const Row &r : rows) {
        value_t v;
        ASSERT_EQ(general_reticle_get_prop(reticle, r.name, &v), RET_OK) << r.name;
        EXPECT_EQ(v.type, VALUE_TYPE_INT32) << r.name;
        EXPECT_EQ(value_int32(&v), r.value) << r.name;
    }
    widget_t *fresh = general_reticle_create(win, 0, 0, 10, 10);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(widget_get_prop_int(fresh, "resolution_x", -1), 500);
    EXPECT_EQ(widget_get_prop_int(fresh, "zoom", -1), 0);
    EXPECT_STREQ(widget_get_type(fresh), "general_reticle");
    EXPECT_FALSE(fresh->focusable);
}

TEST_F(GeneralReticle, EachSetterStoresItsOwnField)
{
    typedef ret_t (*setter_t)(widget_t *, int32_t);
    struct Row {
        setter_t set;
        const char *name;
    } rows[] = {
        {general_reticle_set_c_prop, "c_prop"},
        {general_reticle_set_c_prop1, "c_prop1"},
        {general_reticle_set_zoom, "zoom"},
        {general_reticle_set_reticle_type, "reticle_type"},
        {general_reticle_set_reticle_color, "reticle_color"},
        {general_reticle_set_resolution_x, "resolution_x"},
        {general_reticle_set_resolution_y, "resolution_y"},
        {general_reticle_set_c_prop7, "c_prop7"},
        {general_reticle_set_c_prop8, "c_prop8"},
        {general_reticle_set_c_prop9, "c_prop9"},
        {general_reticle_set_c_prop10, "c_prop10"},
        {general_reticle_set_c_prop11, "c_prop11"},
    };
    int32_t value = 1001;
    for (const Row &r : rows) ASSERT_EQ(r.set(reticle, value++), RET_OK) << r.name;
    value = 1001;
    for (const Row &r : rows) EXPECT_EQ(widget_get_prop_int(reticle, r.name, -1), value++) << r.name;

    /* Through set_prop, a value of any numeric kind is read as an integer. */
    value_t v;
    EXPECT_EQ(general_reticle_set_prop(reticle, "zoom", value_set_str(&v, "250")), RET_OK);
    EXPECT_EQ(widget_get_prop_int(reticle, "zoom", -1), 250);
    EXPECT_EQ(general_reticle_set_prop(reticle, "zoom", value_set_float(&v, 102.7f)), RET_OK);
    EXPECT_EQ(widget_get_prop_int(reticle, "zoom", -1), 102);
}

TEST_F(GeneralReticle, UnknownNamesAreNotFoundAndChangeNothing)
{
    value_t v;
    value_set_int(&v, 9);
    EXPECT_EQ(general_reticle_set_prop(reticle, "c_prop3", &v), RET_NOT_FOUND);
    EXPECT_EQ(general_reticle_get_prop(reticle, "c_prop3", &v), RET_NOT_FOUND);
    EXPECT_EQ(widget_get_prop(reticle, "c_prop3", &v), RET_NOT_FOUND);
    EXPECT_EQ(widget_get_prop_int(reticle, "zoom", -1), 100);
    EXPECT_EQ(general_reticle_set_prop(reticle, nullptr, &v), RET_BAD_PARAMS);
    EXPECT_EQ(general_reticle_set_prop(reticle, "zoom", nullptr), RET_BAD_PARAMS);
    EXPECT_EQ(general_reticle_get_prop(nullptr, "zoom", &v), RET_BAD_PARAMS);
}

TEST_F(GeneralReticle, ForeignWidgetsAreRefused)
{
    widget_t *label = label_create(win, 0, 0, 10, 10);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(general_reticle_cast(label), nullptr);
    EXPECT_EQ(general_reticle_cast(nullptr), nullptr);
    EXPECT_EQ(general_reticle_cast(reticle), reticle);
    EXPECT_EQ(general_reticle_set_zoom(label, 5), RET_BAD_PARAMS);
    value_t v;
    EXPECT_EQ(general_reticle_get_prop(label, "zoom", value_set_int(&v, 0)), RET_BAD_PARAMS);
    EXPECT_EQ(general_reticle_on_event(label, nullptr), RET_BAD_PARAMS);
    EXPECT_EQ(general_reticle_on_destroy(label), RET_BAD_PARAMS);
    EXPECT_EQ(general_reticle_on_event(reticle, nullptr), RET_OK);
}

TEST_F(GeneralReticle, TypeDescription)
{
    const widget_vtable_t *vt = general_reticle_get_widget_vtable();
    EXPECT_STREQ(vt->type, "general_reticle");
    EXPECT_EQ(vt->size, sizeof(general_reticle_t));
    EXPECT_EQ(vt->parent, widget_get_widget_vtable());
    EXPECT_FALSE(vt->inputable || vt->focusable || vt->is_window);
    const char *names[] = {"c_prop",       "c_prop1", "zoom",    "reticle_type", "reticle_color", "resolution_x",
                           "resolution_y", "c_prop7", "c_prop8", "c_prop9",      "c_prop10",      "c_prop11"};
    for (size_t i = 0; i < 12; i++) {
        EXPECT_STREQ(vt->clone_properties[i], names[i]);
        EXPECT_STREQ(vt->persistent_properties[i], names[i]);
    }
    EXPECT_EQ(vt->clone_properties[12], nullptr);
    EXPECT_STREQ(general_reticle_supported_render_mode(), "OpenGL|AGGE-BGR565|AGGE-BGRA8888|AGGE-MONO");
}

} // namespace
