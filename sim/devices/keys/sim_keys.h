// The scope's key device as the board's gpio-keys driver behaves: input
// events on /dev/input/event0, a press, auto-repeat of the key pressed last
// while it is held (500 ms delay and 200 ms period once the program has
// set them, the kernel's 250 and 33 before), and the release.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct sim_sandbox;

/* Key codes of the board's device. */
enum {
    SIM_KEY_OK = 1, /* the middle key */
    SIM_KEY_UP = 2,
    SIM_KEY_DOWN = 3,
    SIM_KEY_LEFT = 4,
    SIM_KEY_RIGHT = 5,
    SIM_KEY_FN = 6,
    SIM_KEY_RANGE = 7,
    SIM_KEY_POWER = 8,
};

/* One key event at t ms from the start of a gesture (value 1 press, 2
 * repeat, 0 release). */
struct sim_key_step {
    int t_ms;
    uint16_t code;
    int32_t value;
};

struct sim_key_repeat {
    int delay_ms = 250;
    int period_ms = 33;
};

/* "ok" (or "middle"), "up", "down", "left", "right", "fn", "range",
 * "power"; a combination joins names with '+'. Empty when a name is unknown. */
std::vector<uint16_t> sim_keys_parse(const std::string &names);
/* The keys pressed in order 40 ms apart, held for hold_ms from the last
 * press, released last pressed first; the last one repeats while held. */
std::vector<sim_key_step> sim_keys_hold(const std::vector<uint16_t> &codes, int hold_ms, const sim_key_repeat &rep);
/* Two short presses (80 ms each), gap_ms between the releases and the next press. */
std::vector<sim_key_step> sim_keys_double(uint16_t code, int gap_ms);

/* The auto-repeat the programs last set on the key device (EVIOCSREP in the
 * board log), else the kernel's. */
sim_key_repeat sim_keys_repeat(const sim_sandbox *sb);
/* Writes the steps on the key device as time passes, each event with its
 * SYN_REPORT. 0 or a negative errno. */
int sim_keys_play(sim_sandbox *sb, const std::vector<sim_key_step> &steps);

/* A gesture by name on the sandbox's key device: kind "short" (pressed
 * 100 ms), "long" (held hold_ms) or "double" (two short presses, 150 ms
 * apart). Returns once the last event is written; false with *why. The
 * harness's key() presses keys this way. */
#define SIM_KEYS_NAMES "ok (middle) up down left right fn range power, or keys joined by + (left+down, up+ok+down)"
bool sim_keys_press(sim_sandbox *sb, const std::string &names, const std::string &kind, int hold_ms, std::string *why);
