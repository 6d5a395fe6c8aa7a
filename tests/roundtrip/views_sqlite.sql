-- Views with spaces in their names, a view over a view named before it, and a trigger.
CREATE TABLE product (id INTEGER PRIMARY KEY, name TEXT NOT NULL, price NUMERIC, discontinued INTEGER DEFAULT 0);
CREATE VIEW [A Cheap Current Products] AS SELECT * FROM [Current Products] WHERE price < 10;
CREATE VIEW [Current Products] AS SELECT id, name, price FROM product WHERE discontinued = 0;
CREATE TABLE price_log (product_id INTEGER, old_price NUMERIC, new_price NUMERIC);
CREATE TRIGGER product_price AFTER UPDATE OF price ON product
BEGIN
    INSERT INTO price_log VALUES (old.id, old.price, new.price);
END;
