// Standard drag functions of the calculator, indexed by DragTableId.
#ifndef FBC_DRAG_TABLES_H
#define FBC_DRAG_TABLES_H

#include <stddef.h>

struct fbc_drag_point {
    double mach;
    double cd;
};

// Every published row lies on a grid of 1/40 Mach, so the same broken line
// is kept as one cell per grid step, found by a multiplication instead of a
// search: the drag is looked up four to six times per integration step.
constexpr double k_fbc_cells_per_mach = 40.0;

// Relative change of speed that one integration step may span.
constexpr double k_fbc_bend_window = 0.1;

struct fbc_drag_cell {
    double cd;   // at the cell's grid point
    double rise; // to the next grid point
    // The largest relative rise of the coefficient per relative change of
    // the Mach number, |dCd/dM| M / Cd, over this cell and those within
    // k_fbc_bend_window below it (slower) and above it (faster): how much
    // sharper than the speed the drag can change within one step from here.
    double bend_slower;
    double bend_faster;
};

struct fbc_drag_table {
    const fbc_drag_point *points;
    const double *slopes; // slopes[i]: dCd/dMach between rows i and i + 1
    size_t count;
    const fbc_drag_cell *cells; // cells[last_cell] holds the last row, flat
    size_t last_cell;
};

// The table of a DragTableId value, or null for an id outside the list or
// one that has no published table.
const fbc_drag_table *fbc_drag_table_get(int id);

// Drag coefficient of a table at x = Mach number * k_fbc_cells_per_mach,
// x >= 0 or NaN: linear between rows and held past the last (a NaN reads
// the last row).
inline double fbc_drag_cd_cells(const fbc_drag_table *table, double x)
{
    double last = (double)table->last_cell;
    if (!(x < last)) x = last;
    size_t i = (size_t)x;
    const fbc_drag_cell *c = &table->cells[i];
    return c->cd + (x - (double)i) * c->rise;
}

// Drag coefficient of a table at a Mach number, linear between rows and held
// past either end (a NaN Mach number reads the last row).
inline double fbc_drag_cd_at(const fbc_drag_table *table, double mach)
{
    return fbc_drag_cd_cells(table, mach > 0.0 ? mach * k_fbc_cells_per_mach : mach == mach ? 0.0 : mach);
}

// The same for callers that still walk the rows with a hint, which the grid
// no longer needs: *hint is left as it was.
inline double fbc_drag_cd(const fbc_drag_table *table, double mach, size_t *hint)
{
    (void)hint;
    return fbc_drag_cd_at(table, mach);
}

#endif
