-- A contact manager's tables and the two reporting views that Velloran reads. Text columns
-- carry their lengths, as the contact manager's own database declares them.
CREATE TABLE contact (
    contact_id    INTEGER PRIMARY KEY,
    company       VARCHAR(128),
    contact       VARCHAR(128),
    annual_dues   NUMERIC,
    annual_rate   NUMERIC,
    billing_anniv DATE
);
CREATE TABLE custom_table_0 (
    row_id                INTEGER PRIMARY KEY,
    contact_id            INTEGER NOT NULL REFERENCES contact(contact_id),
    m_billing_frequency   VARCHAR(40),
    m_billing_method      VARCHAR(40),
    edf_anniv_date        DATE,
    edf_billing_freq      VARCHAR(40),
    edf_billing_method    VARCHAR(40),
    edf_pledge_amt        NUMERIC
);
CREATE INDEX custom_table_0_contact ON custom_table_0(contact_id);
CREATE VIEW VRP_CONTACT AS SELECT
    contact_id    AS [CONTACT ContactID],
    company       AS [CONTACT Company],
    contact       AS [CONTACT Contact],
    annual_dues   AS [CONTACT M-Annual Dues],
    annual_rate   AS [CONTACT M-Annual Rate],
    billing_anniv AS [CONTACT M-Billing Anniv-]
FROM contact;
CREATE VIEW VRP_CUSTOM_TABLE_0 AS SELECT
    contact_id          AS [CUSTOM TABLE 0 CONTACTID],
    m_billing_frequency AS [CUSTOM TABLE 0 M-Billing Frequency],
    m_billing_method    AS [CUSTOM TABLE 0 M-Billing Method],
    edf_anniv_date      AS [CUSTOM TABLE 0 EDF Anniv Date],
    edf_billing_freq    AS [CUSTOM TABLE 0 EDF Billing Freq],
    edf_billing_method  AS [CUSTOM TABLE 0 EDF Billing Method],
    edf_pledge_amt      AS [CUSTOM TABLE 0 EDF Pledge Amt]
FROM custom_table_0;
