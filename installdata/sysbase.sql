-- Template of the per-set system file (data/SysBase.mdb). The wizard copies it to
-- data/SysBase/<account-set number>_S_SysBase.mdb; the bookkeeping application keeps there
-- what belongs to one workstation and one account set: module rights of its users, print
-- layouts and window preferences.

-- Module rights: one row per user and module. The administrator needs no rows.
CREATE TABLE yhqx (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    yhdm VARCHAR(20) NOT NULL,   -- user code (users.yhdm of the account set)
    mkbh VARCHAR(10) NOT NULL,   -- module code (mkxx.mkbh)
    ll BIT NOT NULL DEFAULT 0,   -- may view
    xz BIT NOT NULL DEFAULT 0,   -- may add
    xg BIT NOT NULL DEFAULT 0,   -- may change
    sc BIT NOT NULL DEFAULT 0,   -- may delete
    sh BIT NOT NULL DEFAULT 0,   -- may approve
    dy BIT NOT NULL DEFAULT 0    -- may print
);

-- Modules of the bookkeeping application that rights are granted on.
CREATE TABLE mkxx (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    mkbh VARCHAR(10) NOT NULL UNIQUE,
    mkmc VARCHAR(30) NOT NULL,
    sjmk VARCHAR(10) NOT NULL DEFAULT '',
    pxh INTEGER NOT NULL DEFAULT 0
);

-- Print settings of each report or document.
CREATE TABLE dysz (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    bbbh VARCHAR(20) NOT NULL UNIQUE,  -- report code
    bbmc VARCHAR(40) NOT NULL,         -- report name
    zz VARCHAR(10) NOT NULL,           -- paper
    fx VARCHAR(4) NOT NULL,            -- 纵向 / 横向
    sbj INTEGER NOT NULL,              -- margins in millimetres: top, bottom, left, right
    xbj INTEGER NOT NULL,
    zbj INTEGER NOT NULL,
    ybj INTEGER NOT NULL,
    zt VARCHAR(20) NOT NULL,           -- font
    zh INTEGER NOT NULL,               -- font size in points
    dyfs INTEGER NOT NULL DEFAULT 1,   -- copies
    dyyl BIT NOT NULL DEFAULT 1        -- preview before printing
);

-- Workstation preferences (key and value).
CREATE TABLE bdcs (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    csbm VARCHAR(20) NOT NULL UNIQUE,
    csmc VARCHAR(40) NOT NULL,
    csz VARCHAR(100) NOT NULL DEFAULT ''
);

INSERT INTO mkxx (mkbh, mkmc, sjmk, pxh) VALUES
    ('01', '总账', '', 1),
    ('0101', '凭证录入', '01', 2),
    ('0102', '凭证审核', '01', 3),
    ('0103', '记账与结账', '01', 4),
    ('0104', '账簿查询', '01', 5),
    ('02', '出纳', '', 6),
    ('03', '进销存', '', 7),
    ('0301', '采购', '03', 8),
    ('0302', '销售', '03', 9),
    ('0303', '库存', '03', 10),
    ('04', '工资', '', 11),
    ('05', '报表', '', 12),
    ('06', '系统维护', '', 13);

INSERT INTO dysz (bbbh, bbmc, zz, fx, sbj, xbj, zbj, ybj, zt, zh, dyfs, dyyl) VALUES
    ('PZ', '记账凭证', 'A5', '横向', 10, 10, 15, 10, '宋体', 10, 1, 1),
    ('ZZ', '总分类账', 'A4', '纵向', 15, 15, 20, 10, '宋体', 9, 1, 1),
    ('MXZ', '明细分类账', 'A4', '横向', 15, 15, 20, 10, '宋体', 9, 1, 1),
    ('RJZ', '现金银行日记账', 'A4', '横向', 15, 15, 20, 10, '宋体', 9, 1, 1),
    ('ZCFZB', '资产负债表', 'A4', '纵向', 15, 15, 20, 15, '宋体', 9, 1, 1),
    ('LRB', '利润表', 'A4', '纵向', 15, 15, 20, 15, '宋体', 9, 1, 1),
    ('CKD', '出入库单', 'A5', '横向', 10, 10, 10, 10, '宋体', 10, 2, 0),
    ('GZT', '工资条', 'A4', '横向', 10, 10, 10, 10, '宋体', 9, 1, 1);

INSERT INTO bdcs (csbm, csmc, csz) VALUES
    ('LAST_USER', '上次登录用户', 'admin'),
    ('PZ_CONTINUE', '保存凭证后继续录入', '1'),
    ('GRID_FONT_SIZE', '表格字号', '9'),
    ('BACKUP_DIR', '备份文件夹', '');
