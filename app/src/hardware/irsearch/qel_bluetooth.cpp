// The wind meter's frames from the BLE service: its state goes to the GUI
// as it came, its wind speed is kept and reported to the GUI, which shows
// it. The hold-over is solved with the profile's own wind: the meter's
// reading comes without a unit or a direction, so it is shown, not used.
#include <stdio.h>

#include "qel_dev_status.h"
#include "qel_irsearch.h"
#include "vesk_frame.h"
#include "vesk_msg.h"

enum { BLE_STATE = 1, BLE_WIND = 2 };
enum { BLE_ITEM_WIND = 38 };

static void wind_report(const uint8_t wind[2])
{
    uint8_t frame[VESK_FRAME_OVERHEAD + 2];
    size_t size =
        vesk_frame_build(frame, sizeof frame, SUB_NOTIFIER_IMAGE, 0, BLE_ITEM_WIND, VESK_FRAME_FLAG_REPORT, wind, 2);
    if (size != 0) Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, (uint32_t)size, frame);
}

void notifier_bluetooth(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    const uint8_t *frame = (const uint8_t *)evdata;
    if (evtype != SUB_NOTIFIER_BLUETOOTH || frame == NULL || size < VESK_FRAME_MIN ||
        frame[VESK_FRAME_OFF_OBJ] != SUB_NOTIFIER_BLUETOOTH)
        return;
    const unsigned payload = (unsigned)size - VESK_FRAME_OVERHEAD;
    switch (frame[VESK_FRAME_OFF_SUB]) {
    case BLE_STATE:
        if (payload < 1) return;
        printf("bluetooth state(%d): get data [%02x]\n", frame[VESK_FRAME_OFF_SUB], frame[VESK_FRAME_OFF_PAYLOAD]);
        Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, (uint32_t)size, frame);
        /* Connected or not, a state change means no reading is current. */
        qel_dev_status.wind_speed_now = 0;
        break;
    case BLE_WIND: {
        if (payload < 2) return;
        const int value = frame[VESK_FRAME_OFF_PAYLOAD] + 256 * frame[VESK_FRAME_OFF_PAYLOAD + 1];
        printf("bluetooth data: get data [%d]\n", value);
        qel_dev_status.wind_speed_now = value;
        wind_report(frame + VESK_FRAME_OFF_PAYLOAD);
        break;
    }
    default:
        break;
    }
}

int Qel_BluetoothInit(event_handle *app_bus)
{
    if (event_receive_register(app_bus, notifier_bluetooth, NULL) != 0) {
        printf("notifier_bluetooth faild\n");
        return -1;
    }
    return 0;
}
