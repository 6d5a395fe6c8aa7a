-- Tables of the same name in three schemas (none of them first in public for
-- "item"), with foreign keys across the schemas.
CREATE SCHEMA shop;
CREATE SCHEMA archive;
CREATE TABLE public.customer (id integer PRIMARY KEY, name text);
CREATE TABLE shop.customer (id integer PRIMARY KEY, email text NOT NULL);
CREATE TABLE archive.item (id integer PRIMARY KEY, customer_id integer REFERENCES public.customer (id));
CREATE TABLE shop.item (id integer PRIMARY KEY, customer_id integer REFERENCES shop.customer (id));
CREATE TABLE shop.archive_item (id integer PRIMARY KEY);
COMMENT ON TABLE shop.customer IS 'Customers of the shop, not of the archive';
COMMENT ON COLUMN shop.item.customer_id IS 'the buyer';
