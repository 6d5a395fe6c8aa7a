CREATE TABLE party (
    id INTEGER NOT NULL,
    name VARCHAR(80),
    email TEXT,
    addressid INTEGER,
    PRIMARY KEY (id)
);
CREATE TABLE customer (
    id INTEGER NOT NULL,
    name VARCHAR(80),
    email TEXT,
    addressid INTEGER,
    creditlimit NUMERIC,
    segment TEXT CHECK (segment IN ('R', 'W', 'G')),
    since DATE,
    billing_street TEXT,
    billing_zip TEXT,
    billing_city TEXT,
    PRIMARY KEY (id)
);
CREATE TABLE supplier (
    id INTEGER NOT NULL,
    name VARCHAR(80),
    email TEXT,
    addressid INTEGER,
    rating SMALLINT,
    certificates INTEGER,
    PRIMARY KEY (id)
);
CREATE TABLE address (
    street TEXT,
    zip TEXT,
    city TEXT
);
CREATE TABLE product (
    sku TEXT NOT NULL,
    price NUMERIC,
    width DOUBLE PRECISION,
    colour TEXT,
    supplierno INTEGER,
    PRIMARY KEY (sku),
    FOREIGN KEY (supplierno) REFERENCES supplier (id)
);
CREATE TABLE "order" (
    number INTEGER NOT NULL,
    customerid INTEGER,
    placedon DATE,
    total NUMERIC,
    PRIMARY KEY (number),
    FOREIGN KEY (customerid) REFERENCES customer (id)
);
CREATE TABLE orderline (
    ordernumber INTEGER NOT NULL,
    lineno INTEGER NOT NULL,
    productsku TEXT,
    quantity INTEGER DEFAULT 1,
    PRIMARY KEY (ordernumber, lineno),
    FOREIGN KEY (productsku) REFERENCES product (sku)
);
CREATE TABLE delivery (
    ordernumber INTEGER,
    lineno INTEGER,
    shippedon DATE,
    FOREIGN KEY (ordernumber, lineno) REFERENCES orderline (ordernumber, lineno)
);
COMMENT ON TABLE party IS 'Business partner';
COMMENT ON COLUMN party.id IS 'Party number';
COMMENT ON COLUMN party.name IS 'Name';
COMMENT ON COLUMN party.email IS 'E-mail';
COMMENT ON COLUMN party.addressid IS 'Address';
COMMENT ON TABLE customer IS 'Customer';
COMMENT ON COLUMN customer.id IS 'Party number';
COMMENT ON COLUMN customer.name IS 'Customer name';
COMMENT ON COLUMN customer.email IS 'E-mail';
COMMENT ON COLUMN customer.addressid IS 'Address';
COMMENT ON COLUMN customer.creditlimit IS 'Credit limit';
COMMENT ON COLUMN customer.segment IS 'Segment';
COMMENT ON COLUMN customer.since IS 'Customer since';
COMMENT ON COLUMN customer.billing_street IS 'Street';
COMMENT ON COLUMN customer.billing_zip IS 'Postcode';
COMMENT ON COLUMN customer.billing_city IS 'City';
COMMENT ON TABLE supplier IS 'Supplier';
COMMENT ON COLUMN supplier.id IS 'Party number';
COMMENT ON COLUMN supplier.name IS 'Name';
COMMENT ON COLUMN supplier.email IS 'E-mail';
COMMENT ON COLUMN supplier.addressid IS 'Address';
COMMENT ON COLUMN supplier.rating IS 'Rating';
COMMENT ON COLUMN supplier.certificates IS 'Certificates';
COMMENT ON TABLE address IS 'Postal address';
COMMENT ON COLUMN address.street IS 'Street';
COMMENT ON COLUMN address.zip IS 'Postcode';
COMMENT ON COLUMN address.city IS 'City';
COMMENT ON TABLE product IS 'Product';
COMMENT ON COLUMN product.sku IS 'Article number';
COMMENT ON COLUMN product.price IS 'Price';
COMMENT ON COLUMN product.width IS 'Width';
COMMENT ON COLUMN product.colour IS 'Colour';
COMMENT ON COLUMN product.supplierno IS 'Supplier';
COMMENT ON TABLE "order" IS 'Sales order';
COMMENT ON COLUMN "order".number IS 'Order number';
COMMENT ON COLUMN "order".customerid IS 'Customer';
COMMENT ON COLUMN "order".placedon IS 'Order date';
COMMENT ON COLUMN "order".total IS 'Total';
COMMENT ON TABLE orderline IS 'Order line';
COMMENT ON COLUMN orderline.ordernumber IS 'Order number';
COMMENT ON COLUMN orderline.lineno IS 'Line';
COMMENT ON COLUMN orderline.productsku IS 'Article number';
COMMENT ON COLUMN orderline.quantity IS 'Quantity';
COMMENT ON TABLE delivery IS 'Delivery';
COMMENT ON COLUMN delivery.ordernumber IS 'Order number';
COMMENT ON COLUMN delivery.lineno IS 'Line';
COMMENT ON COLUMN delivery.shippedon IS 'Shipping date';
