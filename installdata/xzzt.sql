/* 账套数据表：新建账套时在账套数据库中执行一次，随后从 Sample.mdb 复制基础数据。 */
/* 各表首列 xh 为自动编号；其余各列与 Sample.mdb 中同名表的列一一对应。 */

/* 仓库单据设置：各类出入库单据的编号规则与审核要求 */
CREATE TABLE [ckdsz] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[djlx] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[djmc] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[bhqz] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[bhcd] [int] NULL ,
	[crkfx] [int] NULL ,
	[sfsh] [bit] NULL ,
	[sfqy] [bit] NULL ,
	[bz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]

/* 仓库档案 */
CREATE TABLE [ckdsz01] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[ckbh] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[ckmc] [nvarchar] (40) COLLATE Chinese_PRC_CI_AS NULL ,
	[ckdz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,
	[fzr] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[lxdh] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[jjfs] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfmr] [bit] NULL ,
	[sfqy] [bit] NULL ,
	[jlrq] [datetime] NULL 
) ON [PRIMARY]

/* 单据明细栏目：各类单据明细表格显示的栏目、宽度与必填项 */
CREATE TABLE [ckdsz02] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[djlx] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[zdm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[lmmc] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[kd] [int] NULL ,
	[sfxs] [bit] NULL ,
	[sfbt] [bit] NULL ,
	[pxh] [int] NULL 
) ON [PRIMARY]

/* 操作员设置 */
CREATE TABLE [czyssz] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[czybh] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[czyxm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[ssbm] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[gw] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[lxdh] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfzg] [bit] NULL ,
	[sfqy] [bit] NULL ,
	[qyrq] [datetime] NULL ,
	[bz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]

/* 系统用户：登录名、口令与管理员标志，口令为空表示首次登录后自行设置 */
CREATE TABLE [users] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[yhdm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[yhmc] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[kl] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,
	[czybh] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfgly] [bit] NULL ,
	[sfqy] [bit] NULL ,
	[cjrq] [datetime] NULL ,
	[bz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]

/* 工资项目定义 */
CREATE TABLE [gzxmdyb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[xmbh] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[xmmc] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[xmlx] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[sjlx] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[xsws] [int] NULL ,
	[jsgs] [nvarchar] (200) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfks] [bit] NULL ,
	[sfxt] [bit] NULL ,
	[pxh] [int] NULL 
) ON [PRIMARY]

/* 货品设置：货品档案的字段、类型与必填项 */
CREATE TABLE [hpszxxb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[zdm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[zdmc] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[sjlx] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[cd] [int] NULL ,
	[xsws] [int] NULL ,
	[sfbt] [bit] NULL ,
	[sfqy] [bit] NULL ,
	[pxh] [int] NULL 
) ON [PRIMARY]

/* 货品列表显示：货品档案列表的栏目、宽度与对齐 */
CREATE TABLE [hpszxxb_show] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[zdm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[xsmc] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[kd] [int] NULL ,
	[dqfs] [nvarchar] (4) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfxs] [bit] NULL ,
	[pxh] [int] NULL 
) ON [PRIMARY]

/* 基础资料：部门、计量单位、货品类别、客户与供应商类别、地区、职员类别、费用项目 */
CREATE TABLE [jczlxxb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[zllb] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[bh] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[mc] [nvarchar] (40) COLLATE Chinese_PRC_CI_AS NULL ,
	[sjbh] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfqy] [bit] NULL ,
	[bz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]

/* 结算方式 */
CREATE TABLE [jjfsxxb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[jsfsbm] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[jsfsmc] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfpjgl] [bit] NULL ,
	[dykm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfqy] [bit] NULL ,
	[bz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]

/* 收付款条件：信用期与现金折扣 */
CREATE TABLE [jjfsxxxb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[tjbm] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[tjmc] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[xyts] [int] NULL ,
	[zkts] [int] NULL ,
	[zkl] [decimal] (18, 2) NULL ,
	[sfmr] [bit] NULL ,
	[bz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]

/* 会计科目类别 */
CREATE TABLE [kjkmlbb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[lbbm] [int] NULL ,
	[lbmc] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[kmsz] [nvarchar] (2) COLLATE Chinese_PRC_CI_AS NULL ,
	[yefx] [nvarchar] (2) COLLATE Chinese_PRC_CI_AS NULL ,
	[pxh] [int] NULL 
) ON [PRIMARY]

/* 会计科目：编码规则 4-2-2，科目类别对应会计科目类别表的类别编码 */
CREATE TABLE [kjkmxxb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[kmdm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[kmmc] [nvarchar] (40) COLLATE Chinese_PRC_CI_AS NULL ,
	[kmqc] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,
	[lbbm] [int] NULL ,
	[kmjb] [int] NULL ,
	[sjkm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[yefx] [nvarchar] (2) COLLATE Chinese_PRC_CI_AS NULL ,
	[sfmx] [bit] NULL ,
	[xjkm] [bit] NULL ,
	[yhkm] [bit] NULL ,
	[fzhs] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[slhs] [bit] NULL ,
	[sfty] [bit] NULL ,
	[ncye] [decimal] (18, 2) NULL 
) ON [PRIMARY]

/* 个人所得税预扣率表（工资、薪金所得，累计预扣法，全年一次性奖金另行计算） */
CREATE TABLE [sdsszxxb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[jc] [int] NULL ,
	[xx] [decimal] (18, 2) NULL ,
	[sx] [decimal] (18, 2) NULL ,
	[sl] [decimal] (18, 2) NULL ,
	[sskcs] [decimal] (18, 2) NULL ,
	[jcfy] [decimal] (18, 2) NULL ,
	[zxrq] [datetime] NULL ,
	[sm] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]

/* 系统信息：单位资料、会计期间、本位币与小数位数，每个账套一行 */
CREATE TABLE [xtxxb] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[dwmc] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,
	[nsrsbh] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[dwdz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,
	[lxdh] [nvarchar] (30) COLLATE Chinese_PRC_CI_AS NULL ,
	[khyh] [nvarchar] (60) COLLATE Chinese_PRC_CI_AS NULL ,
	[yhzh] [nvarchar] (40) COLLATE Chinese_PRC_CI_AS NULL ,
	[hylx] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[kjzd] [nvarchar] (40) COLLATE Chinese_PRC_CI_AS NULL ,
	[qyrq] [datetime] NULL ,
	[kjnd] [int] NULL ,
	[qsqj] [int] NULL ,
	[bwb] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[bwbdm] [nvarchar] (3) COLLATE Chinese_PRC_CI_AS NULL ,
	[jews] [int] NULL ,
	[slws] [int] NULL ,
	[djws] [int] NULL ,
	[kmbmjc] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[nsrlx] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,
	[zzssl] [decimal] (18, 2) NULL ,
	[sfjz] [bit] NULL 
) ON [PRIMARY]

/* 其他系统参数 */
CREATE TABLE [xtxxb_other] (
	[xh] [int] IDENTITY (1, 1) NOT NULL ,
	[ID] [int] NULL ,
	[csbm] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,
	[csmc] [nvarchar] (40) COLLATE Chinese_PRC_CI_AS NULL ,
	[csz] [nvarchar] (60) COLLATE Chinese_PRC_CI_AS NULL ,
	[bz] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]
