#pragma once

#include <QString>

class BillingInputs;
class DbConnection;
class GridOperations;
class PassedOver;

// Empties the grid and fills it with one unchecked line per member due in the chosen window,
// in company and contact order, then formats it; the list keeps what it was filled with.
// Returns the organisation the list was made for. Failures (database, a yearly amount that is no
// number) escape as Failure; the grid then holds the rows written so far. With passedOver, it
// learns the contacts whose data no month could list (see PassedOver).
QString LoadBillingList(const BillingInputs& inputs, GridOperations& grid,
                        const DbConnection& connection, PassedOver* passedOver = nullptr);

// The steps that end every fill, also one without rows: the check-box column, the money
// formats, the date column, the fixed header row and the column widths.
void formatBillingList(GridOperations& grid);
