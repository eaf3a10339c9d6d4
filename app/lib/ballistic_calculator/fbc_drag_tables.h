// Standard drag functions of the calculator, indexed by DragTableId.
#ifndef FBC_DRAG_TABLES_H
#define FBC_DRAG_TABLES_H

#include <stddef.h>

struct fbc_drag_point {
    double mach;
    double cd;
};

struct fbc_drag_table {
    const fbc_drag_point *points;
    const double *slopes; // slopes[i]: dCd/dMach between rows i and i + 1
    size_t count;
};

// The table of a DragTableId value, or null for an id outside the list or
// one that has no published table.
const fbc_drag_table *fbc_drag_table_get(int id);

// Drag coefficient of a table at a Mach number, linear between rows and held
// past either end; *hint keeps the row of the last look-up, so that a
// trajectory walks the table a row at a time instead of searching it.
inline double fbc_drag_cd(const fbc_drag_table *table, double mach, size_t *hint)
{
    const fbc_drag_point *p = table->points;
    size_t last = table->count - 1;
    if (mach >= p[last].mach) return p[last].cd;
    if (mach <= p[0].mach) return p[0].cd;
    size_t i = *hint < last ? *hint : last - 1;
    while (i > 0 && mach < p[i].mach) i--;
    while (i + 1 < last && mach >= p[i + 1].mach) i++;
    *hint = i;
    return p[i].cd + (mach - p[i].mach) * table->slopes[i];
}

#endif
