// The profile database's three tables as the factory creates them. sightd
// never creates a database (it accepts one only when its tables already
// have this shape); the factory image tool and the persistence tests do.
#pragma once

#define VESK_DEVICE_DB_SCHEMA                                                                                          \
    "CREATE TABLE device(id int not null primary key, name text not null, remark text);"                               \
    "CREATE TABLE zero_point(id int not null primary key, device_id int not null, index_show int not null, "           \
    "distance int not null, x int not null, y int not null, remark text, remark2 text, remark3 text);"                 \
    "CREATE TABLE ballistics(id int primary key, device_id int not null, switch int not null, distance text, "         \
    "distance_yard text, ei_angle text, wind_velocity text, wind_direction text, weather_temperature text, "           \
    "weather_pressure text, weather_humidity text, zero_distance text, zero_distance_yard text, "                      \
    "bullet_coefficient text, bullet_dragmodel int, muzzie_velocity int, twist_rate text, twist_direction int, "       \
    "bullet_length text, bullet_weight text, bullet_diameter text, zero_weather_enable int, "                          \
    "zero_weather_temperature text, zero_weather_pressure text, zero_weather_humidity text, offset_unit int, "         \
    "offset_vertial text, offset_vertial_mrad text, offset_horiazontal text, offset_horiazontal_mrad text, "           \
    "scope_height text, spindrift_enable int, corioliseffect_enable int, latitude text, azimuth text, remark text);"
