/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's parser.h (releases 0.5 and 0.6; 0.7 and 0.8 under
 * DCSIM_GENERATION_B; 0.9 when DCSIM_RELEASE_0_9 is defined too). */
#ifndef DC_PARSER_H
#define DC_PARSER_H

#include "common.h"
#include "datetime.h"
#include "device.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum dc_sample_type_t {
    DC_SAMPLE_TIME,
    DC_SAMPLE_DEPTH,
    DC_SAMPLE_PRESSURE,
    DC_SAMPLE_TEMPERATURE,
    DC_SAMPLE_EVENT,
    DC_SAMPLE_RBT,
    DC_SAMPLE_HEARTBEAT,
    DC_SAMPLE_BEARING,
    DC_SAMPLE_VENDOR,
    DC_SAMPLE_SETPOINT,
    DC_SAMPLE_PPO2,
    DC_SAMPLE_CNS,
    DC_SAMPLE_DECO,
    DC_SAMPLE_GASMIX
} dc_sample_type_t;

typedef enum dc_field_type_t {
    DC_FIELD_DIVETIME,
    DC_FIELD_MAXDEPTH,
    DC_FIELD_AVGDEPTH,
    DC_FIELD_GASMIX_COUNT,
    DC_FIELD_GASMIX,
    DC_FIELD_SALINITY,
    DC_FIELD_ATMOSPHERIC,
    DC_FIELD_TEMPERATURE_SURFACE,
    DC_FIELD_TEMPERATURE_MINIMUM,
    DC_FIELD_TEMPERATURE_MAXIMUM,
    DC_FIELD_TANK_COUNT,
    DC_FIELD_TANK,
    DC_FIELD_DIVEMODE,
#ifdef DCSIM_GENERATION_B
    DC_FIELD_DECOMODEL,
    DC_FIELD_LOCATION
#endif
} dc_field_type_t;

typedef enum parser_sample_event_t {
    SAMPLE_EVENT_NONE,
    SAMPLE_EVENT_DECOSTOP,
    SAMPLE_EVENT_RBT,
    SAMPLE_EVENT_ASCENT,
    SAMPLE_EVENT_CEILING,
    SAMPLE_EVENT_WORKLOAD,
    SAMPLE_EVENT_TRANSMITTER,
    SAMPLE_EVENT_VIOLATION,
    SAMPLE_EVENT_BOOKMARK,
    SAMPLE_EVENT_SURFACE,
    SAMPLE_EVENT_SAFETYSTOP,
    SAMPLE_EVENT_GASCHANGE,
    SAMPLE_EVENT_SAFETYSTOP_VOLUNTARY,
    SAMPLE_EVENT_SAFETYSTOP_MANDATORY,
    SAMPLE_EVENT_DEEPSTOP,
    SAMPLE_EVENT_CEILING_SAFETYSTOP,
    SAMPLE_EVENT_FLOOR,
    SAMPLE_EVENT_DIVETIME,
    SAMPLE_EVENT_MAXDEPTH,
    SAMPLE_EVENT_OLF,
    SAMPLE_EVENT_PO2,
    SAMPLE_EVENT_AIRTIME,
    SAMPLE_EVENT_RGBM,
    SAMPLE_EVENT_HEADING,
    SAMPLE_EVENT_TISSUELEVEL,
    SAMPLE_EVENT_GASCHANGE2
} parser_sample_event_t;

typedef enum dc_water_t { DC_WATER_FRESH, DC_WATER_SALT } dc_water_t;

typedef struct dc_salinity_t {
    dc_water_t type;
    double density; /* kg/m3 */
} dc_salinity_t;

#ifdef DCSIM_GENERATION_B
typedef enum dc_divemode_t {
    DC_DIVEMODE_FREEDIVE,
    DC_DIVEMODE_GAUGE,
    DC_DIVEMODE_OC,
    DC_DIVEMODE_CCR,
    DC_DIVEMODE_SCR
} dc_divemode_t;

/* The closed circuit mode of releases 0.5 and 0.6 under its later name. */
#define DC_DIVEMODE_CC DC_DIVEMODE_CCR
#else
typedef enum dc_divemode_t {
    DC_DIVEMODE_FREEDIVE,
    DC_DIVEMODE_GAUGE,
    DC_DIVEMODE_OC,
    DC_DIVEMODE_CC
} dc_divemode_t;
#endif

typedef enum dc_deco_type_t {
    DC_DECO_NDL,
    DC_DECO_SAFETYSTOP,
    DC_DECO_DECOSTOP,
    DC_DECO_DEEPSTOP
} dc_deco_type_t;

#ifdef DCSIM_GENERATION_B
typedef enum dc_decomodel_type_t {
    DC_DECOMODEL_NONE,
    DC_DECOMODEL_BUHLMANN,
    DC_DECOMODEL_VPM,
    DC_DECOMODEL_RGBM,
    DC_DECOMODEL_DCIEM
} dc_decomodel_type_t;

typedef struct dc_decomodel_t {
    dc_decomodel_type_t type;
    int conservatism; /* 0 neutral, above more conservative, below more aggressive */
    union {
        struct {
            unsigned int high; /* gradient factors in percent */
            unsigned int low;
        } gf;
    } params;
} dc_decomodel_t;

typedef struct dc_location_t {
    double latitude; /* decimal degrees */
    double longitude;
    double altitude; /* metres */
} dc_location_t;
#endif

#ifdef DCSIM_RELEASE_0_9
#define DC_SENSOR_NONE 0xFFFFFFFF
#endif
#define DC_GASMIX_UNKNOWN 0xFFFFFFFF

#ifdef DCSIM_RELEASE_0_9
typedef enum dc_usage_t {
    DC_USAGE_NONE,
    DC_USAGE_OXYGEN,
    DC_USAGE_DILUENT,
    DC_USAGE_SIDEMOUNT
} dc_usage_t;
#endif

typedef struct dc_gasmix_t {
    double helium;
    double oxygen;
    double nitrogen;
#ifdef DCSIM_RELEASE_0_9
    dc_usage_t usage;
#endif
} dc_gasmix_t;

typedef enum dc_tankvolume_t {
    DC_TANKVOLUME_NONE,
    DC_TANKVOLUME_METRIC,
    DC_TANKVOLUME_IMPERIAL
} dc_tankvolume_t;

typedef struct dc_tank_t {
    unsigned int gasmix; /* index into the gas mixes, or DC_GASMIX_UNKNOWN */
    dc_tankvolume_t type;
    double volume;       /* litres */
    double workpressure; /* bar */
    double beginpressure;
    double endpressure;
#ifdef DCSIM_RELEASE_0_9
    dc_usage_t usage;
#endif
} dc_tank_t;

typedef union dc_sample_value_t {
    unsigned int time; /* seconds; milliseconds from release 0.9 on */
    double depth;
    struct {
        unsigned int tank;
        double value;
    } pressure;
    double temperature;
    struct {
        unsigned int type;
        unsigned int time;
        unsigned int flags;
        unsigned int value;
    } event;
    unsigned int rbt;
    unsigned int heartbeat;
    unsigned int bearing;
    struct {
        unsigned int type;
        unsigned int size;
        const void *data;
    } vendor;
    double setpoint;
#ifdef DCSIM_RELEASE_0_9
    struct {
        unsigned int sensor;
        double value;
    } ppo2;
#else
    double ppo2;
#endif
    double cns;
    struct {
        unsigned int type;
        unsigned int time;
        double depth;
#ifdef DCSIM_RELEASE_0_9
        unsigned int tts;
#endif
    } deco;
    unsigned int gasmix;
} dc_sample_value_t;

typedef struct dc_parser_t dc_parser_t;

#ifdef DCSIM_RELEASE_0_9
typedef void (*dc_sample_callback_t)(dc_sample_type_t type, const dc_sample_value_t *value,
                                     void *userdata);

/* A parser of one dive's bytes; the caller keeps them alive while the parser lives. */
dc_status_t dc_parser_new(dc_parser_t **parser, dc_device_t *device, const unsigned char data[],
                          size_t size);
#else
typedef void (*dc_sample_callback_t)(dc_sample_type_t type, dc_sample_value_t value,
                                     void *userdata);

dc_status_t dc_parser_new(dc_parser_t **parser, dc_device_t *device);
dc_status_t dc_parser_set_data(dc_parser_t *parser, const unsigned char *data, unsigned int size);
#endif
dc_status_t dc_parser_get_datetime(dc_parser_t *parser, dc_datetime_t *datetime);
dc_status_t dc_parser_get_field(dc_parser_t *parser, dc_field_type_t type, unsigned int flags,
                                void *value);
dc_status_t dc_parser_samples_foreach(dc_parser_t *parser, dc_sample_callback_t callback,
                                      void *userdata);
dc_status_t dc_parser_destroy(dc_parser_t *parser);

#ifdef __cplusplus
}
#endif
#endif
