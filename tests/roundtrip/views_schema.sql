-- Views over views, across schemas, named before the views they read, and a
-- materialized view with an index.
CREATE SCHEMA report;
CREATE TABLE public.sale (id integer PRIMARY KEY, amount numeric NOT NULL, sold_on date NOT NULL);
CREATE VIEW public.b_daily AS SELECT sold_on, sum(amount) AS total FROM public.sale GROUP BY sold_on;
CREATE VIEW report.a_best_day AS SELECT sold_on, total FROM public.b_daily ORDER BY total DESC LIMIT 1;
CREATE VIEW public."Big Days" AS SELECT d.sold_on FROM public.b_daily d WHERE d.total > 1000;
CREATE MATERIALIZED VIEW report.monthly AS
    SELECT date_trunc('month', sold_on) AS month, sum(total) AS total FROM public.b_daily GROUP BY 1;
CREATE INDEX monthly_month ON report.monthly (month);
