/* 示范账套：在基础资料之上填入一家示范企业的单位信息 */
update xtxxb set dwmc = N'TOVRA示范贸易有限公司', nsrsbh = N'91110105MA00TOVRA8',
    dwdz = N'北京市朝阳区建国路88号', lxdh = N'010-65000000',
    khyh = N'中国工商银行北京朝阳支行', yhzh = N'0200001234567890123'
