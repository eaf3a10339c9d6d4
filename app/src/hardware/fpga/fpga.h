// The thermal core behind /dev/ttyS4: sends it the image parameters and the
// bad-pixel editor's commands the GUI chooses (app-bus objects 1, 24 and
// 25), keeps the image parameters in the settings, passes some on to the
// media process, and turns the core's own frames (identity, version,
// repair and bright-light notices) into reports on the main bus.
// Functions return 0, or -1 after printing what failed.
#pragma once

#include "boardcast.h"
#include "fpga_proto.h"

extern int Fpga_fd;
extern volatile int fpgaUartInitFinished; /* the line is configured */
extern volatile int voInitFlag;           /* the core's second version text is registered */
extern int scenc_current;                 /* the scene byte last sent; -1 before the first */
extern int bp_x, bp_y;                    /* bad-pixel cursor, 0..639 and 0..511 */
extern int lidOperation;                  /* cleared by every send */

/* Opens and configures the line, starts the receive thread with the main
 * bus for its reports and registers notifier_Ir on the app bus. */
int Qel_FpgaInit(const char *device, event_handle *main_bus, event_handle *app_bus);
/* Ends and joins the receive thread and closes the line. */
void Qel_FpgaExit(void);

/* Fills the checksum of a frame of total bytes and writes it. */
void Ir_UartSendData(uint8_t *frame, int total);
/* App-bus callback for event type 1: objects 1, 24 and 25. */
void notifier_Ir(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);

/* The calls the boot push and the command router make. */
int fpga_uart_ready(void);
int fpga_version_ready(void);
void ir_self_inspection(void); /* the core answers with its version */
void ir_setAutoShutterClose(void);
void ir_save_config(void);           /* builds the save-configuration frame, sends nothing */
void sendCmdDataSetScene(int scene); /* 1..4; sent only when it changes the scene byte */

/* The descriptor; prints "fpga uart error" when the line is not open. */
int get_fpga_fd(void);
int uart_trans_get(void);
void uart_trans_set(int value);

/* The core's spare pins (nothing drives them today). */
int Fpga_Gpio_Init(int pin);
int Fpga_Gpio_Set(int pin, int value);
int Fpga_Gpio_Get(int pin);
int Fpga_Gpio_Exit(int pin);
