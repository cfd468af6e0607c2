-- Local configuration database of the wizard (data/MORVEK.mdb).
-- Shipped empty: the wizard appends its rows on the workstation. Text compares without regard
-- to letter case, as in the Access files these stand for.

-- Server connection records: the login fragment of each confirmed SQL Server name,
-- split over the fields "1" and "2".
CREATE TABLE xtljb (
    zjmc VARCHAR(128) COLLATE NOCASE,
    "1" VARCHAR(255) COLLATE NOCASE,
    "2" VARCHAR(255) COLLATE NOCASE
);

-- The account sets this workstation can open.
CREATE TABLE ztxxb (
    ztbh VARCHAR(128) COLLATE NOCASE,
    ztmc VARCHAR(100) COLLATE NOCASE,
    jlrq DATE,
    kl VARCHAR(50) COLLATE NOCASE,
    zjmc VARCHAR(128) COLLATE NOCASE,
    sjklx VARCHAR(20) COLLATE NOCASE,
    net VARCHAR(4) COLLATE NOCASE
);
