#include "sim_usb.h"

#include "sim.h"

#define SIM_USB_LINE_STEADY (0x1A2u << 8)

static int sim_usb_word(sim_sandbox *sb, uint64_t offset, uint32_t value)
{
    const uint8_t le[4] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16), (uint8_t)(value >> 24)};
    return sim_pwrite(sb, "/dev/mem", SIM_USB_REG_BASE + offset, le, sizeof le);
}

int sim_usb_set(sim_sandbox *sb, bool plugged)
{
    int rc = sim_usb_word(sb, SIM_USB_LINE_OFFSET, plugged ? SIM_USB_LINE_STEADY : 0);
    if (rc == 0) rc = sim_usb_word(sb, SIM_USB_STATUS_OFFSET, plugged ? SIM_USB_SUPPLY : 0);
    return rc;
}
