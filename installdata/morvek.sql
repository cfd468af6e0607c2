-- Local configuration database of the wizard (data/MORVEK.mdb).
-- Shipped empty: the wizard appends its rows on the workstation.

-- Server connection records: the login fragment of each confirmed SQL Server name,
-- split over the fields "1" and "2".
CREATE TABLE xtljb (
    zjmc VARCHAR(128),
    "1" VARCHAR(255),
    "2" VARCHAR(255)
);

-- The account sets this workstation can open.
CREATE TABLE ztxxb (
    ztbh VARCHAR(128),
    ztmc VARCHAR(100),
    jlrq DATE,
    kl VARCHAR(50),
    zjmc VARCHAR(128),
    sjklx VARCHAR(20),
    net VARCHAR(4)
);
