-- CHECK constraints on columns and on the table, named and unnamed, with
-- brackets and quotes around names and inside strings.
CREATE TABLE [Order Details] (
    [OrderID] INTEGER NOT NULL,
    [ProductID] INTEGER NOT NULL,
    [UnitPrice] NUMERIC NOT NULL DEFAULT 0 CHECK ([UnitPrice] >= 0),
    [Quantity] INTEGER NOT NULL DEFAULT 1 CHECK ([Quantity] > 0),
    [Discount] REAL NOT NULL DEFAULT 0,
    [Note] TEXT CHECK ("Note" <> 'no (check) here'),
    PRIMARY KEY ([OrderID], [ProductID]),
    CONSTRAINT discount_range CHECK ([Discount] >= (0) AND [Discount] <= (1))
);
